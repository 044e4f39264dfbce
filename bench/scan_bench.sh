#!/usr/bin/env bash
# The folder scan against GNU du -s, gdu -n and ncdu -o /dev/null on one generated tree of
# about 1,000,000 files in 50,000 folders (hard links, a link loop): wall time and peak
# resident memory of each, cold (after dropping the page cache, where the machine lets us)
# and warm, the ratios to fsw, and a sample of folder totals checked against du's.
# Usage: bench/scan_bench.sh [FILES] [FOLDERS]   (FSW_BENCH_TREE: where the tree goes)
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
files=${1:-1000000}
folders=${2:-50000}
tree=${FSW_BENCH_TREE:-/var/tmp/fsw-scan-bench-$files}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fsw=build/linux/fsw
# The tree is made once and kept between runs (it takes a while); its marker says it is whole.
if [ ! -f "$tree.done" ]; then
    rm -rf "$tree"
    echo "making the tree ($files files, $folders folders) in $tree ..."
    /usr/bin/time -f "  made in %e s" build/linux/bench/fsw_bench_scan_tree "$tree" "$files" "$folders" || exit 1
    touch "$tree.done"
fi

cold_possible=0
if [ "$(id -u)" = 0 ] && sync && echo 3 2>/dev/null > /proc/sys/vm/drop_caches; then
    cold_possible=1
fi

declare -A wall rss
# Runs a command once, cold or warm; records its wall time and peak memory.
measure() {
    local key=$1; shift
    if [ "$key" != "${key%cold}" ]; then
        sync; echo 3 > /proc/sys/vm/drop_caches
    fi
    /usr/bin/time -o "$work/time" -f '%e %M' "$@" >/dev/null 2>"$work/err"
    read -r wall[$key] rss[$key] < "$work/time"
}

tools=(fsw du gdu ncdu)
run() {
    case $1 in
        fsw) measure "$1-$2" "$fsw" scan --dir "$work" "$tree" ;;
        du) measure "$1-$2" du -s "$tree" ;;
        gdu) measure "$1-$2" gdu -n -p "$tree" ;;
        ncdu) measure "$1-$2" ncdu -q -o /dev/null "$tree" ;;
    esac
}
touch "$work/fsw.ini"
for tool in "${tools[@]}"; do
    if [ "$tool" != fsw ] && ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed: left out"; continue
    fi
    if [ $cold_possible = 1 ]; then run "$tool" cold; fi
    run "$tool" warm   # after a first warm run, so that every tool meets the same cache
    run "$tool" warm
done

echo
echo "scan of $files files in $folders folders (wall s, peak MB, ratio of time to fsw's)"
for mode in cold warm; do
    [ $mode = cold ] && [ $cold_possible = 0 ] && { echo "cold: the page cache cannot be dropped here"; continue; }
    for tool in "${tools[@]}"; do
        key="$tool-$mode"
        [ -n "${wall[$key]:-}" ] || continue
        awk -v t="$tool" -v m="$mode" -v w="${wall[$key]}" -v r="${rss[$key]}" -v f="${wall[fsw-$mode]}" \
            'BEGIN { printf "%-5s %-5s %7.2f s %7.1f MB  %5.2fx\n", t, m, w, r / 1024, (f > 0 ? w / f : 0) }'
    done
done

# A sample of the kept folders: fsw's totals against du's for the same folders, in one du
# run over the tree (links inside one folder, so the order of the walk does not matter).
scanfile=$(ls "$work"/fswscan-*.txt | head -1)
du -x -B1 "$tree" > "$work/du" 2>/dev/null
awk '$1 == "D" { path = $0; sub(/^D [0-9]+ [0-9]+ [01] /, "", path); print $2 "\t" path }' "$scanfile" |
    awk 'NR % 97 == 1' | head -40 > "$work/sample"
checked=0; differ=0
while IFS=$'\t' read -r bytes path; do
    theirs=$(awk -v p="$path" -F'\t' '$2 == p { print $1 }' "$work/du")
    checked=$((checked + 1))
    if [ "$theirs" != "$bytes" ]; then
        differ=$((differ + 1)); echo "  differs: $path fsw $bytes du $theirs"
    fi
done < "$work/sample"
echo "folder totals checked against du: $checked, differing: $differ"
echo
# What background scans of the same tree cost the running server.
build/linux/bench/fsw_bench_load --scan "$tree" 20
[ $differ = 0 ]
