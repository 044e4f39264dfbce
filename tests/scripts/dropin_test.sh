#!/usr/bin/env bash
# The drop-in that gives the service node_exporter's textfile folder: systemd-analyze
# verify reads the unit with it and has nothing to say; the same drop-in with a misspelt
# key draws a complaint naming it, so the drop-in is known to be read.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The unit as packaged, its program replaced by one that exists here.
verify() {
    SYSTEMD_UNIT_PATH="$work/units:" systemd-analyze verify --man=no "$work/units/fsw.service" 2>&1
}
mkdir -p "$work/units/fsw.service.d"
sed 's#^ExecStart=/usr/bin/fsw #ExecStart=/bin/true #' "$here/packaging/fsw.service" \
    >"$work/units/fsw.service"
cp "$here/packaging/node-exporter.conf" "$work/units/fsw.service.d/"

out=$(verify)
if [ -n "$out" ]; then
    echo "FAIL: systemd-analyze verify complains about the unit with the drop-in:"
    echo "$out"
    exit 1
fi

sed -i 's/^ReadWritePaths=/ReadWritePathz=/' "$work/units/fsw.service.d/node-exporter.conf"
out=$(verify)
if ! grep -q "node-exporter.conf.*ReadWritePathz" <<<"$out"; then
    echo "FAIL: a misspelt key of the drop-in went unnoticed: the drop-in is not read"
    echo "$out"
    exit 1
fi
echo "PASS: the drop-in verifies, and a broken copy of it is caught"
