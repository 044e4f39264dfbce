# Sourced by the scripts that take pictures under Wine's virtual desktop (screenshots.sh,
# status-shots.sh), from the tree's top: the packages they need, the frame's font, Wine's
# DPI (set_dpi), Wine started unless it runs, a second display for 150 %
# (use_large_display), and shots_cleanup, the EXIT trap that undoes all of it.
# xdotool clicks the tray icon; fonts-wine draws the window frame's buttons.
missing=()
for package in xdotool fonts-wine; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

. scripts/wine-env.sh
# The frame's buttons are glyphs of the font Marlett, which Wine reads from the prefix.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp -n /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
# Wine's system DPI, in the user's and the machine's key; 96 is 100 %.
set_dpi() {
    local key
    for key in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        "$FSW_WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    done
}
# Wine and its display are started here, and stopped at the end, unless they already run.
# The prefix is left at 100 % for the tests, and the second display goes.
stop_wine=""
if ! { [ -f build/wine-xvfb.pid ] && kill -0 "$(cat build/wine-xvfb.pid)" 2>/dev/null; }; then
    bash scripts/wine-up.sh
    stop_wine=1
fi
large_display=""
shots_cleanup() {
    set_dpi 96
    [ -z "$large_display" ] || kill "$large_display"
    [ -z "$stop_wine" ] || bash scripts/wine-down.sh
}
trap shots_cleanup EXIT
. scripts/wine-env.sh  # again, for the display
# A display of its own of WIDTHxHEIGHT, large enough for the windows at 150 %; DISPLAY
# points at it from now on.
use_large_display() {
    local fifo number
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp </dev/null >/dev/null 2>&1 3>"$fifo" &
    large_display=$!
    number=$(timeout 20 head -n 1 "$fifo")
    rm -f "$fifo"
    export DISPLAY=":$number"
}
# The program of the folder $shots on a virtual desktop NAME,WIDTHxHEIGHT, until its first
# cycle is over (a cycle with a problem brings up what NOTI says).
start_program() {
    : >"$shots/fsw.log"
    (cd "$shots" && setsid "$FSW_WINE" explorer "/desktop=$1" fsw.exe </dev/null >/dev/null 2>&1 &)
    for _ in $(seq 1 60); do
        grep -q "サーバを起動します" <(iconv -f CP932 -t UTF-8 "$shots/fsw.log" 2>/dev/null) && break
        sleep 0.5
    done
    sleep 4
}
