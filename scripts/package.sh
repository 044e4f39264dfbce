#!/usr/bin/env bash
# Wraps the Linux build (scripts/build.sh linux first) into build/fsw_<version>_<arch>.deb
# with CPack's DEB generator, and each Windows build that is there (scripts/build.sh win64
# win32) into build/fsw-<version>-x64.msi and -x86.msi with scripts/package-msi.sh; prints
# the packages' paths.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/linux}
log="$build/cpack.log"
if ! (cd "$build" && cpack -G DEB) >"$log" 2>&1; then
    cat "$log" >&2
    exit 1
fi
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' "$log"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for pair in win64:x64 win32:x86; do
    exe=build/${pair%%:*}/fsw.exe
    if [ -f "$exe" ]; then
        bash scripts/package-msi.sh "$exe" "${pair#*:}" "$version" "build/fsw-$version-${pair#*:}.msi"
    fi
done
