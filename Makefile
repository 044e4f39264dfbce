# The front door: make build, make test, make run, make bench, make package.
SHELL := /bin/bash

.PHONY: all deps build test run bench package format clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@bash scripts/build.sh linux win64 win32

test: deps
	@bash scripts/build.sh linux linux-asan linux-tsan win64 win32
	@bash scripts/test.sh

run: deps
	@bash scripts/build.sh linux
	@bash scripts/run.sh

bench: deps
	@bash scripts/build.sh linux
	@build/linux/bench/fsw_bench_load
	@build/linux/bench/fsw_bench_cycle
	@build/linux/bench/fsw_bench_history
	@build/linux/bench/fsw_bench_forecast
	@bash bench/scan_bench.sh

package: deps
	@bash scripts/build.sh linux win64 win32
	@bash scripts/package.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
