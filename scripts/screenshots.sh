#!/usr/bin/env bash
# Takes the README's screenshots of the 64-bit program under Wine's virtual desktop:
# the tray icon with the balloon of a cycle, the open tray menu, the status window
# with a normal, a caution, a danger and an error row, and the chart of a target's
# history; then the status window, the chart and the settings dialog at 150 % (*-150.png).
# The program runs in build/shots/ as server and client at once, its four targets on its
# own server, with a history of a week in which their disk fills.
#   bash scripts/screenshots.sh      (after: bash scripts/build.sh win64)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

. scripts/wine-shots.sh

shots=build/shots
rm -rf "$shots"
mkdir -p "$shots" docs
cp build/win64/fsw.exe "$shots/"

# Targets graded against the free space of drive C:, which Wine keeps in the prefix. The
# history: a check every half hour for a week, the disk losing space at a rate that
# fills it in about five days from now, with some noise.
read -r port free_mb < <(python3 - "$WINEPREFIX/drive_c" "$shots/lastchk.txt" <<'PY'
import os, random, socket, sys, time
s = socket.socket()
s.bind(("127.0.0.1", 0))
port = s.getsockname()[1]
s.close()
st = os.statvfs(sys.argv[1])
free = st.f_bavail * st.f_frsize
total = st.f_blocks * st.f_frsize
now = int(time.time())
rate = free / (5.3 * 86400)
random.seed(1825)
targets = [("localhost", "C:\\"), ("127.0.0.1", "C:\\"), ("127.0.0.1", "C:\\users"),
           ("127.0.0.1", "Q:\\archive")]
with open(sys.argv[2], "w", newline="") as out:
    for t in range(now - 7 * 86400 + 1800, now - 600, 1800):
        stamp = time.strftime("%Y/%m/%d %H:%M:%S", time.localtime(t))
        for host, path in targets:
            left = int(free + rate * (now - t) + random.gauss(0, free * 0.01))
            out.write(f"{stamp}\t{host}\t{port}\t{path}\t1\t{left}\t{total}\r\n")
print(port, st.f_bavail * st.f_frsize // 1048576)
PY
)
printf '[fsw]\r\nSERVER=1\r\nSVPORT=%s\r\nCLIENT=1\r\nINTVAL=10\r\nLISTFILE=fsw.lst\r\nLOGFILE=fsw.log\r\nCHKFILE=lastchk.txt\r\nNOTI=3\r\nLOGMODE=1\r\n' \
    "$port" >"$shots/fsw.ini"
{
    printf '0\tlocalhost\t%s\tC:\\\t1\t9\tsystem disk\r\n' "$port"
    printf '0\t127.0.0.1\t%s\tC:\\\t%s\t2\tshared files\r\n' "$port" $((free_mb * 3 / 2))
    printf '0\t127.0.0.1\t%s\tC:\\users\t%s\t2\tbackups\r\n' "$port" $((free_mb * 20 + 1))
    printf '0\t127.0.0.1\t%s\tQ:\\archive\t10\t0\tarchive\r\n' "$port"
} | iconv -f UTF-8 -t CP932 >"$shots/fsw.lst"

start_program shell,1024x768
icon_x=1014
icon_y=757
xdotool mousemove 600 100
sleep 1
import -window root docs/status-window.png
convert docs/status-window.png -crop 480x170+544+598 +repage -scale 200% docs/tray-icon.png

# The balloon goes after its 30 s.
sleep 31

# The menu opens where the icon is right-clicked; the pointer then rests on an item.
xdotool mousemove "$icon_x" "$icon_y" click 3
sleep 1
xdotool mousemove 960 668
sleep 1
import -window root "$shots/menu-full.png"
convert "$shots/menu-full.png" -crop 300x200+724+568 +repage docs/tray-menu.png

# A double click on the status window's first row opens the chart of that target.
xdotool key Escape
sleep 1
xdotool mousemove 300 241 click --repeat 2 --delay 100 1
sleep 2
xdotool mousemove 1000 100
sleep 1
import -window root "$shots/chart-full.png"
convert "$shots/chart-full.png" -crop 640x400+178+222 +repage docs/history-chart.png

# "終了" is the menu's last item, just above the taskbar.
xdotool mousemove "$icon_x" "$icon_y" click 3
sleep 1
xdotool mousemove 934 738 click 1
for _ in $(seq 1 40); do
    pgrep -f 'fsw\.exe' >/dev/null || break
    sleep 0.5
done

# The same program at 150 %: the system DPI at 144, on a display of its own large enough
# for the windows at that size.
set_dpi 144
use_large_display 1600x1200
start_program large,1600x1200
xdotool mousemove 900 100
sleep 1
import -window root "$shots/status-150-full.png"
convert "$shots/status-150-full.png" -crop 1096x574+252+313 +repage docs/status-window-150.png
xdotool mousemove 482 386 click --repeat 2 --delay 100 1
sleep 2
xdotool mousemove 1500 100
sleep 1
import -window root "$shots/chart-150-full.png"
convert "$shots/chart-150-full.png" -crop 960x600+284+345 +repage docs/history-chart-150.png
# The balloon goes, then "設定" of the tray menu opens the settings dialog.
sleep 25
xdotool mousemove 1590 1185 click 3
sleep 1
xdotool mousemove 1480 1062 click 1
sleep 2
xdotool mousemove 1500 100
sleep 1
import -window root "$shots/settings-150-full.png"
convert "$shots/settings-150-full.png" -crop 1064x621+268+289 +repage docs/settings-dialog-150.png
# The open dialog keeps the menu from ending the program.
"$FSW_WINE" taskkill /f /im fsw.exe >/dev/null 2>&1 || true
echo "screenshots in docs/: tray-icon.png, tray-menu.png, status-window.png, history-chart.png," \
    "status-window-150.png, history-chart-150.png, settings-dialog-150.png"
