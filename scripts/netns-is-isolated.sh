#!/usr/bin/env bash
# Succeeds only when loopback is the sole network interface here.
for interface in /sys/class/net/*; do
    [[ "$(basename "$interface")" == lo ]] || exit 1
done
exit 0
