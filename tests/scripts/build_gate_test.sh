#!/usr/bin/env bash
# The build script fails when a build fails: its copy beside a small project builds it
# while the project compiles, and fails, without building the next preset, once the
# source is broken.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/scripts"
cp "$here/scripts/build.sh" "$work/scripts/"
cat >"$work/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(gate CXX)
add_executable(gate main.cpp)
CMAKE
cat >"$work/CMakePresets.json" <<'JSON'
{
  "version": 6,
  "configurePresets": [
    {"name": "first", "generator": "Unix Makefiles", "binaryDir": "${sourceDir}/build/${presetName}"},
    {"name": "second", "inherits": "first"}
  ],
  "buildPresets": [
    {"name": "first", "configurePreset": "first"},
    {"name": "second", "configurePreset": "second"}
  ]
}
JSON

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

echo 'int main() { return 0; }' >"$work/main.cpp"
bash "$work/scripts/build.sh" first >"$work/good.txt" 2>&1 || fail "a good build failed: $(cat "$work/good.txt")"
test -x "$work/build/first/gate" || fail "the good build left no program"

echo 'int main() { return not_declared; }' >"$work/main.cpp"
if bash "$work/scripts/build.sh" first second >"$work/broken.txt" 2>&1; then
    fail "a broken build passed: $(cat "$work/broken.txt")"
fi
grep -q "not_declared" "$work/broken.txt" || fail "the compiler's error was not shown"
test ! -e "$work/build/second" || fail "the preset after the failed one was built"
echo "build gate: a failed build fails the script"
