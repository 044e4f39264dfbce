#!/usr/bin/env bash
# Starts the Linux edition in the foreground in build/run/ (Ctrl-C ends it).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mkdir -p build/run
echo "fsw: files in build/run/ (fsw.ini, fsw.lst, fsw.log); Ctrl-C ends it."
exec build/linux/fsw --dir build/run
