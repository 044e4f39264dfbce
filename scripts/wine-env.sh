# Environment for running the Windows build under Wine: a private prefix under build/,
# a Japanese locale (ANSI code page 932) and the virtual display that wine-up.sh started.
# Sourced by the other scripts.
FSW_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$FSW_ROOT/build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG=ja_JP.UTF-8
export LC_ALL=ja_JP.UTF-8
FSW_WINE=${FSW_WINE:-/usr/lib/wine/wine64}
FSW_WINESERVER=/usr/lib/wine/wineserver
FSW_DISPLAY_FILE="$FSW_ROOT/build/wine-display"
if [ -z "${DISPLAY:-}" ] && [ -f "$FSW_DISPLAY_FILE" ]; then
    export DISPLAY=$(cat "$FSW_DISPLAY_FILE")
fi
