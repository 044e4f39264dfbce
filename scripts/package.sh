#!/usr/bin/env bash
# Wraps the Linux build (scripts/build.sh linux first) into build/fsw_<version>_<arch>.deb
# with CPack's DEB generator, and prints the package's path.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/linux}
log="$build/cpack.log"
if ! (cd "$build" && cpack -G DEB) >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$log"
