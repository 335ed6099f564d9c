# Entry points for a fresh machine: `make run` builds and starts the program,
# `make test` builds and runs every test. Both install what is missing first.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
TA_DIR ?= $(CURDIR)/examples/game
FUZZ_SECONDS ?= 300

.PHONY: setup configure build run sample test test-asan bench fuzz package clean

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Without a display the program says so in one line (use xvfb-run -a make run).
run: build
	TA_DIR="$(TA_DIR)" $(BUILD)/app/kestrava

# Packs the sample archive anew from examples/archive-src, undoing any edit
# saved into it.
sample: configure
	@rm -f $(BUILD)/examples/sample.ufo
	@cmake --build $(BUILD) --target sample_archive
	@echo "$(BUILD)/examples/sample.ufo packed anew from examples/archive-src"

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package kestrava_VERSION_ARCH.deb, written to $(BUILD)/. Builds
# only what the package holds.
package: configure
	@cmake --build $(BUILD) -j $(JOBS) --target package_contents
	@cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/kestrava_*.deb

test-asan: setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRAVA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: setup
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@for b in build-bench/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  echo "== $$b"; QT_QPA_PLATFORM=offscreen "$$b" || exit 1; \
	done

fuzz:
	@bash scripts/setup.sh --fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRAVA_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target hpi_fuzz
	@mkdir -p build-fuzz/corpus
	build-fuzz/tests/fuzz/hpi_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=70000 build-fuzz/corpus build-fuzz/fuzz-seeds

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench build-fuzz
