#!/usr/bin/env bash
# Prepares Wine for the Windows tests: the private prefix (created once, with Japanese
# font replacements), a virtual X display and a persistent wineserver. Everything is
# started with its standard streams detached, so nothing holds the caller's output open.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
mkdir -p "$FSW_ROOT/build"

# A virtual display: Wine cannot create any window, hidden ones included, without one.
if [ -z "${FSW_KEEP_DISPLAY:-}" ]; then
    # Xvfb picks a free display number itself and reports it through -displayfd.
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        </dev/null >/dev/null 2>&1 3>"$fifo" &
    echo $! >"$FSW_ROOT/build/wine-xvfb.pid"
    number=$(timeout 20 head -n 1 "$fifo" || true)
    rm -f "$fifo"
    if [ -z "$number" ]; then
        echo "wine-up: Xvfb did not start" >&2
        exit 1
    fi
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
        # No window manager runs on the virtual display: without this, Wine waits 2 s for
        # one each time a window is hidden or destroyed (every closed dialog).
        printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
    } >"$reg"
    "$FSW_WINE" regedit "$reg" </dev/null >/dev/null 2>&1 || true
    "$FSW_WINESERVER" -w </dev/null >/dev/null 2>&1 || true
fi

# A persistent server makes each later process start take milliseconds.
setsid "$FSW_WINESERVER" -p </dev/null >/dev/null 2>&1 &
"$FSW_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
