#!/usr/bin/env bash
# Configures and builds the given CMake presets (linux, linux-asan, linux-tsan, win64,
# win32). The first preset that fails to configure or build ends the script with a
# failure, so nothing runs on binaries a failed build left behind.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(( $(nproc) + 1 ))
# ccache, where installed, keeps compiled objects between builds and clones of the tree:
# the five builds of a fresh clone then take a fraction of their time.
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # Paths below the tree count relative to it, so a clone in another folder hits too.
    export CCACHE_BASEDIR="$PWD"
fi
for preset in "$@"; do
    echo "== build $preset"
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" "${launcher[@]}" >/dev/null
    fi
    # The filter only drops the progress lines; its own status (1 when nothing is left to
    # print) is ignored, so the pipeline fails exactly when the build does.
    if ! cmake --build --preset "$preset" --parallel "$jobs" -- --no-print-directory |
        { grep -v -E '^\[ *[0-9]+%\]' || true; }; then
        echo "== build $preset failed" >&2
        exit 1
    fi
done
