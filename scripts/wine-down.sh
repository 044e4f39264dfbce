#!/usr/bin/env bash
# Stops what wine-up.sh started: the wineserver (and with it every Wine process of the
# prefix) and the virtual display.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
"$FSW_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
if [ -f "$FSW_ROOT/build/wine-xvfb.pid" ]; then
    kill "$(cat "$FSW_ROOT/build/wine-xvfb.pid")" 2>/dev/null || true
    rm -f "$FSW_ROOT/build/wine-xvfb.pid" "$FSW_DISPLAY_FILE"
fi
exit 0
