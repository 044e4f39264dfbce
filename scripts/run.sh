#!/usr/bin/env bash
# Prepares build/run/ and runs the Linux edition there in the foreground (Ctrl-C ends
# it): server and client roles on, port 50801, a cycle every minute, balloon lines and
# status list, and a host list that watches this machine's own server.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
run=build/run
mkdir -p "$run"

printf '%s\n' '[fsw]' 'SERVER=1' 'SVPORT=50801' 'CLIENT=1' 'INTVAL=1' 'LISTFILE=fsw.lst' \
    'LOGFILE=fsw.log' 'CHKFILE=lastchk.txt' 'NOTI=3' 'LOGMODE=1' >"$run/fsw.ini"

# excluded, host, port, path, threshold, unit (0 %, 3 GB), description; tab-separated.
printf '0\t127.0.0.1\t50801\t/\t10\t0\tこのマシンのルート\n' >"$run/fsw.lst"
printf '0\tlocalhost\t50801\t/tmp\t1\t3\t一時ファイル置き場\n' >>"$run/fsw.lst"

echo "fsw: files in $run/ (fsw.ini, fsw.lst, fsw.log); a status list every minute; Ctrl-C ends it."
exec build/linux/fsw --dir "$run"
