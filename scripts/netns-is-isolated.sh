#!/usr/bin/env bash
# Succeeds only when loopback is the sole network interface of this process's
# network namespace. Asks the kernel over netlink: /sys/class/net shows the
# namespace sysfs was mounted in, not ours.
links=$(ip -o link show 2>/dev/null) || exit 1
[[ -n "$links" ]] || exit 1
while read -r _ name _; do
    [[ "${name%%[:@]*}" == lo ]] || exit 1
done <<<"$links"
exit 0
