#!/usr/bin/env bash
# Configures and builds the given CMake presets (linux, linux-asan, win64, win32).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(( $(nproc) + 1 ))
for preset in "$@"; do
    echo "== build $preset"
    if [ ! -f "build/$preset/CMakeCache.txt" ]; then
        cmake --preset "$preset" >/dev/null
    fi
    cmake --build --preset "$preset" --parallel "$jobs" -- --no-print-directory | grep -v -E '^\[ *[0-9]+%\]' || true
    test "${PIPESTATUS[0]}" -eq 0
done
