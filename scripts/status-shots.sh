#!/usr/bin/env bash
# Takes the status window's pictures with every grade, docs/status-grades.png at 100 % and
# docs/status-grades-150.png at 150 %, of the 64-bit program under Wine's virtual desktop:
# a host list of 15 rows, one of them "*", against the program's own server and a server of
# the Linux edition, graded normal, caution, warning or danger by their thresholds, and one
# row against a port where nothing listens. The window is maximised by a double click on its
# caption before the picture; at 150 % it is sorted by status, worst first.
#   bash scripts/status-shots.sh      (after: bash scripts/build.sh linux win64)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

. scripts/wine-shots.sh
linux_server=""
trap '[ -z "$linux_server" ] || kill "$linux_server"; shots_cleanup' EXIT

shots=build/status-shots
rm -rf "$shots"
mkdir -p "$shots/linux" docs
cp build/win64/fsw.exe "$shots/"
# Three free ports (the Wine program's server, the Linux server, one where nothing listens)
# and the free space of the disk both servers measure, in MB.
read -r wport lport closed free_mb < <(python3 - "$WINEPREFIX/drive_c" <<'PY'
import os, socket, sys
ports = []
for _ in range(3):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    ports.append(s.getsockname()[1])
    s.close()
st = os.statvfs(sys.argv[1])
print(*ports, st.f_bavail * st.f_frsize // 1048576)
PY
)
printf '[fsw]\nSERVER=1\nSVPORT=%s\nCLIENT=0\nLOGMODE=0\n' "$lport" >"$shots/linux/fsw.ini"
setsid build/linux/fsw --dir "$shots/linux" </dev/null >/dev/null 2>&1 &
linux_server=$!
printf '[fsw]\r\nSERVER=1\r\nSVPORT=%s\r\nCLIENT=1\r\nINTVAL=10\r\nLISTFILE=fsw.lst\r\nLOGFILE=fsw.log\r\nNOTI=2\r\nLOGMODE=1\r\n' \
    "$wport" >"$shots/fsw.ini"
# excluded, host, port, path, threshold, unit (0 %, 2 MB, 3 GB), description. Caution at
# 1.5 times the free space, warning at 3 times, danger at 20 times.
caution=$((free_mb * 3 / 2)) warning=$((free_mb * 3)) danger=$((free_mb * 20 + 1))
{
    printf '0\tlocalhost\t%s\tC:\\\t1\t0\t経理PC システム\r\n' "$wport"
    printf '0\t127.0.0.1\t%s\tC:\\users\t%s\t2\t経理PC ユーザー\r\n' "$wport" "$caution"
    printf '0\t127.0.0.1\t%s\tC:\\windows\t5\t0\t受付PC システム\r\n' "$wport"
    printf '0\t127.0.0.1\t%s\t*\t2\t0\t設計PC 全ドライブ\r\n' "$wport"
    printf '0\t127.0.0.1\t%s\tC:\\ProgramData\t%s\t2\t設計PC データ\r\n' "$wport" "$warning"
    printf '0\t127.0.0.1\t%s\tC:\\Program Files\t%s\t2\tファイルサーバ1 共有\r\n' "$wport" "$danger"
    printf '0\t127.0.0.1\t%s\t/\t10\t0\tLinuxサーバ ルート\r\n' "$lport"
    printf '0\t127.0.0.1\t%s\t/tmp\t%s\t2\tLinuxサーバ 一時領域\r\n' "$lport" "$caution"
    printf '0\t127.0.0.1\t%s\t/var\t%s\t2\tLinuxサーバ ログ\r\n' "$lport" "$warning"
    printf '0\t127.0.0.1\t%s\t/usr\t1\t3\tLinuxサーバ プログラム\r\n' "$lport"
    printf '0\t127.0.0.1\t%s\tD:\\share\t10\t0\tファイルサーバ2 共有\r\n' "$closed"
    printf '0\tlocalhost\t%s\t/etc\t5\t0\tLinuxサーバ 設定\r\n' "$lport"
    printf '0\t127.0.0.1\t%s\tC:\\windows\\temp\t15\t0\t総務PC 一時領域\r\n' "$wport"
    printf '0\tlocalhost\t%s\tC:\\users\\Public\t%s\t2\t総務PC 共有フォルダ\r\n' "$wport" "$caution"
    printf '0\t127.0.0.1\t%s\t/opt\t%s\t2\tLinuxサーバ 追加ソフト\r\n' "$lport" "$danger"
} | iconv -f UTF-8 -t CP932 >"$shots/fsw.lst"

# The program on a virtual desktop of WIDTHxHEIGHT until its first cycle has opened the
# status window; a double click on its caption (the first row, down the middle of the
# screen, that is not the desktop's colour, and CAPTION further down) maximises it; with a
# HEADER y, a click there on the status column's header sorts it worst first. The picture is
# the screen's top CROP rows.
take() {  # WIDTHxHEIGHT OUTPUT CAPTION CROP [HEADER]
    start_program "grades,$1"
    sleep 2
    import -window root "$shots/before.png"
    local width=${1%x*} top
    top=$(convert "$shots/before.png" -crop "1x400+$((width / 2))+0" txt:- | python3 -c '
import sys
colours = [line.split()[2] for line in sys.stdin if not line.startswith("#")]
print(next(y for y, colour in enumerate(colours) if colour != colours[0]))')
    xdotool mousemove "$((width / 2))" "$((top + $3))" click --repeat 2 --delay 80 1
    sleep 2
    if [ -n "${5:-}" ]; then
        xdotool mousemove 30 "$5" click 1
        sleep 1
    fi
    xdotool mousemove 5 "$((${1#*x} - 5))"
    sleep 1
    import -window root "$shots/after.png"
    convert "$shots/after.png" -crop "${width}x$4+0+0" +repage "$2"
    "$FSW_WINE" taskkill /f /im fsw.exe >/dev/null 2>&1 || true
    sleep 2
}
take 1024x768 docs/status-grades.png 10 300

set_dpi 144
use_large_display 1600x1200
take 1600x1200 docs/status-grades-150.png 15 440 42
echo "screenshots in docs/: status-grades.png, status-grades-150.png (sorted by status)"
