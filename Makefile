# Quick start: `make demo` converts the bundled samples; `make test` runs every test.
MAKEFLAGS += --no-print-directory
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
BENCH ?= OFF
# `make install` builds Release in build-release/ and installs under DESTDIR/PREFIX.
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: all deps build test demo install package check-install asan tsan tidy fuzz bench windows clean

all: build

deps:
	@scripts/install-deps.sh

# The development build: tests, warnings are errors.
build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLFEN_WERROR=ON \
	  -DQUILLFEN_BENCH=$(BENCH) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo.sh $(BUILD)

install: deps
	@cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null
	@cmake --build build-release -j $(JOBS)
	@DESTDIR=$(DESTDIR) cmake --install build-release

# The Debian package, in build-package/packages/.
package:
	@scripts/package.sh build-package

# What CI checks of the installed tree and the package (scripts/check-install.sh).
check-install:
	@scripts/check-install.sh

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLFEN_SANITIZE=ON -DQUILLFEN_WERROR=ON \
	  -DQUILLFEN_BENCH=OFF >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The tests of the core and the command line (where the runs of several jobs are) under
# ThreadSanitizer; the dialog stays out, as Qt's own libraries are not instrumented.
tsan: deps
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUILLFEN_TSAN=ON -DQUILLFEN_WERROR=ON \
	  -DQUILLFEN_GUI=OFF -DQUILLFEN_MANPAGES=OFF -DQUILLFEN_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure -j $(JOBS)

# clang-tidy over the program's sources with the checks in .clang-tidy; any finding fails.
tidy: build
	@scripts/tidy.sh $(BUILD)

# Each libFuzzer target for FUZZ_SECONDS (clang, ASan, UBSan) in build-fuzz/.
FUZZ_SECONDS ?= 60
fuzz:
	@scripts/fuzz.sh $(FUZZ_SECONDS)

# Micro-benchmarks, then quillfen-cli against the reference and the peers (installs the
# peers' Debian packages); writes docs/benchmarks.md. BENCH_RUNS sets the repeats.
BENCH_RUNS ?= 5
bench: BENCH = ON
bench: build
	@QUILLFEN_PEERS=1 scripts/install-deps.sh
	@$(BUILD)/bench/quillfen_bench --benchmark_min_time=0.2
	@/usr/bin/python3 bench/compare.py --build $(BUILD) --runs $(BENCH_RUNS)

# Windows x64: quillfen-cli.exe cross-built with MinGW-w64, its tests run under wine, and
# build-windows/quillfen-<version>-windows-x64.zip (scripts/build-windows.sh).
windows:
	@JOBS=$(JOBS) scripts/build-windows.sh

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz build-release build-package build-windows
