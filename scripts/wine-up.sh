#!/usr/bin/env bash
# Prepares Wine for the Windows tests: the private prefix (created once, with Japanese
# font replacements), a virtual X display and a persistent wineserver. Everything is
# started with its standard streams detached, so nothing holds the caller's output open.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
mkdir -p "$FSW_ROOT/build"

# A virtual display: Wine cannot create any window, hidden ones included, without one.
if [ -z "${FSW_KEEP_DISPLAY:-}" ]; then
    number=90
    while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
        number=$((number + 1))
    done
    setsid Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! >"$FSW_ROOT/build/wine-xvfb.pid"
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$number" ] && break
        sleep 0.05
    done
    echo ":$number" >"$FSW_DISPLAY_FILE"
    export DISPLAY=":$number"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Preparing the Wine prefix (once)..."
    "$FSW_WINE" wineboot -u </dev/null >/dev/null 2>&1 || true
    "$FSW_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
    reg="$FSW_ROOT/build/fonts.reg"
    {
        printf 'REGEDIT4\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for font in "MS UI Gothic" "MS Gothic" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
            printf '"%s"="IPAPGothic"\r\n' "$font"
        done
        printf '"ＭＳ ゴシック"="IPAGothic"\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n'
    } >"$reg"
    "$FSW_WINE" regedit "$reg" </dev/null >/dev/null 2>&1 || true
    "$FSW_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
fi

# A persistent server makes each later process start take milliseconds.
setsid "$FSW_WINESERVER" -p </dev/null >/dev/null 2>&1 &
"$FSW_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
