#!/usr/bin/env bash
# Installs the Debian packages the builds, the tests and the Debian package need
# (dpkg-dev and lintian make and check it, systemd's systemd-analyze checks its unit,
# man-db its manual page, adduser runs in its installation), and the Japanese locale that
# Wine needs to read Japanese text in arguments and file names. ccache keeps compiled
# objects between builds; msmtp and python3-aiosmtpd carry the notification test's mail;
# binutils-mingw-w64 brings windmc for the event log's messages; wixl and msitools
# build the Windows installers and read them back; gdu and ncdu are the folder-size tools
# the scan benchmark (make bench) measures the folder scan against. Idempotent: when all is
# present it only checks, which takes a moment. The monitoring engines (Prometheus's
# promtool, node_exporter, Nagios) are for the tests, which start them on their own: no
# daemon of theirs is left running by the installation.
set -euo pipefail

packages=(cmake make g++ libgtest-dev googletest
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine wine64 xvfb xauth fonts-ipafont-gothic imagemagick locales valgrind
          prometheus prometheus-node-exporter nagios4-core
          dpkg-dev lintian systemd man-db adduser ccache
          msmtp python3-aiosmtpd binutils-mingw-w64 msitools wixl gdu ncdu)

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
    # Packages with services may not start them: a policy that refuses every start, for
    # the time of the installation, unless the machine has one of its own.
    policy=/usr/sbin/policy-rc.d
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
        $sudo chmod 755 "$policy"
        trap '$sudo rm -f "$policy"' EXIT
    fi
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
