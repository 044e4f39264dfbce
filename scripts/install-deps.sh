#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the Debian package need
# (dpkg-dev and lintian make and check it, systemd's systemd-analyze checks its unit,
# man-db its manual page, adduser runs in its installation), and the Japanese locale that
# Wine needs to read Japanese text in arguments and file names. Idempotent: when all is
# present it only checks, which takes a moment.
set -euo pipefail

packages=(cmake make g++ libgtest-dev googletest
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 xvfb xauth fonts-ipafont-gothic imagemagick locales valgrind
          dpkg-dev lintian systemd man-db adduser)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$package")
    fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "Generating the locale ja_JP.UTF-8"
    if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen >/dev/null
fi
