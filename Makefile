# make run    — install what is missing, build, start Kestrelbox
# make test   — install what is missing, build, run every test (and the
#               Windows core tests, cross-built, under Wine, and each fuzz
#               target for 20 s)
# make test-sanitize — the same under AddressSanitizer and UBSan
# make fuzz   — build the fuzz targets with clang and run each for
#               FUZZ_SECONDS (60 unless given: make fuzz FUZZ_SECONDS=600)
# make bench  — build and run the benchmarks
# make package — build the Debian package (build/kestrelbox_<version>_<arch>.deb)
# make format — format the sources; make format-check fails on drift
# make tidy   — clang-tidy's curated checks (.clang-tidy) over src/
# make test-tsan — the tests of what runs on more than one thread, built with
#               ThreadSanitizer (CMake option -DKB_TSAN=ON)
# make test-clang — the whole tree, GUI and tests included, built with clang
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

.PHONY: deps configure build run test test-windows test-sanitize test-tsan test-clang tidy fuzz bench package format format-check clean

deps:
	@bash scripts/setup.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kestrelbox

test: build
	@bash scripts/test-all.sh $(BUILD)

test-windows: deps
	@bash scripts/windows-tests.sh

test-sanitize: deps
	@cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKB_SANITIZE=ON -DKB_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-san -j $(JOBS)
	ctest --test-dir build-san --output-on-failure -j $(JOBS)

test-tsan: deps
	@bash scripts/tsan-tests.sh

test-clang: deps
	@bash scripts/clang-build.sh

tidy: configure
	@bash scripts/tidy.sh $(BUILD)

fuzz: deps
	@bash scripts/fuzz.sh $(FUZZ_SECONDS)

bench: build
	@for b in $(BUILD)/bench/*; do [ -x "$$b" ] && "$$b"; done

package: build
	@cmake --build $(BUILD) --target package

format:
	@bash scripts/format.sh

format-check:
	@bash scripts/format.sh --check

clean:
	rm -rf $(BUILD) build-san build-tsan build-clang build-fuzz
