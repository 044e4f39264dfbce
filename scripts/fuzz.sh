#!/usr/bin/env bash
# Fuzzes the HTTP request reader with libFuzzer (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) for a bounded time: scripts/fuzz.sh [SECONDS], 60 by default.
# The corpus starts from a few real requests and is kept in build/fuzz/corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ is missing: no fuzzing" >&2
    exit 77
fi
out=build/fuzz
mkdir -p "$out/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I. \
    tests/fuzz/http_request_fuzz.cpp net/http_request.cpp -o "$out/http_request_fuzz"
printf 'GET / HTTP/1.1\r\nHost: a\r\n\r\n' >"$out/corpus/get"
printf 'HEAD /metrics HTTP/1.0\r\n\r\n' >"$out/corpus/head"
printf 'POST /x?y HTTP/1.1\r\nHost: a\r\nContent-Length: 1\r\n\r\nz' >"$out/corpus/post"
"$out/http_request_fuzz" -max_total_time="$seconds" -max_len=9000 "$out/corpus"
