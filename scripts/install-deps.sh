#!/usr/bin/env bash
# Installs what building, running and testing EthBoxVup need on Debian 12.
# Idempotent and quiet when everything is present. Needs root.
set -euo pipefail

packages=(
    cmake ninja-build g++ gcc clang clang-format libclang-rt-14-dev git
    googletest libgtest-dev libgmock-dev
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
    g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
    wine wine64 wine32:i386 fonts-wine xvfb x11-utils
    locales fonts-ipafont-gothic imagemagick
    tftp-hpa iproute2 util-linux procps
    zip unzip osslsigncode openssl libssl-dev ccache
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
    # The 32-bit program runs under Wine's 32-bit loader, which comes from i386.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "install-deps: adding the i386 architecture for wine32"
        dpkg --add-architecture i386
    fi
    echo "install-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 makes it 932 and
# en_US.UTF-8 makes it the Western 1252.
locales_generated=0
for locale_name in ja_JP en_US; do
    if ! locale -a 2>/dev/null | grep -qix "${locale_name}.utf8"; then
        echo "install-deps: enabling the ${locale_name}.UTF-8 locale"
        sed -i "s/^# *\(${locale_name}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
        grep -q "^${locale_name}.UTF-8 UTF-8" /etc/locale.gen || echo "${locale_name}.UTF-8 UTF-8" >>/etc/locale.gen
        locales_generated=1
    fi
done
if ((locales_generated)); then
    locale-gen >/dev/null
fi
