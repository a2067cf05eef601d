#!/usr/bin/env bash
# Installs what building, running and testing EthBoxVup need on Debian 12.
# Idempotent and quiet when everything is present. Needs root.
set -euo pipefail

packages=(
    cmake ninja-build g++ gcc clang clang-format libclang-rt-14-dev git
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine64 fonts-wine xvfb x11-utils
    locales fonts-ipafont-gothic imagemagick
    tftp-hpa iproute2 util-linux procps
    zip unzip
    clang-tidy cppcheck python3
    evilwm
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "install-deps: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 makes it 932.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "install-deps: generating the ja_JP.UTF-8 locale"
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
