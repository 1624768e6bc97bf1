# The two commands a newcomer needs are `make run` and `make test`; the rest are steps of those.
SHELL := /bin/bash
PRESET := $(if $(CI),ci,default)
ASAN_PRESET := $(if $(CI),asan-ci,asan)
JOBS ?= $(shell nproc)

.PHONY: all deps configure build build-asan build-fuzz test test-fast run bench format clean

all: build

deps:
	@scripts/deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

build-asan: deps
	@cmake --preset $(ASAN_PRESET) >/dev/null
	@cmake --build --preset $(ASAN_PRESET) -j $(JOBS)

# The parsers' fuzz targets, built by clang with libFuzzer into build-fuzz.
build-fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)

# Runs every test: the suite in the normal build, the suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, against SQLite and a throwaway PostgreSQL, a bounded run of each fuzz
# target, and the browser tests.
test: build build-asan build-fuzz
	@scripts/test.sh

# The normal build's suite alone, for a quick round while working.
test-fast: build
	@TIPOPER_SKIP_ASAN=1 TIPOPER_SKIP_BROWSER=1 TIPOPER_SKIP_FUZZ=1 scripts/test.sh

run: build
	@scripts/run.sh

bench: build
	@scripts/bench.sh

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz
