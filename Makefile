# The front door: `make run` starts the tool against the bundled demo page,
# `make test` installs what is missing, builds and runs the whole suite.
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_FLAGS ?=

.PHONY: all deps configure build test check-asan run fuzz bench clean windows

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The whole suite built with AddressSanitizer and UBSan (no recovery) in
# build-asan; LeakSanitizer ignores only the toolkit libraries' one-time
# allocations listed, with reasons, in tests/lsan.supp.
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

check-asan: deps
	cmake -S . -B build-asan -DCDK_SANITIZE=ON -DCDK_BUILD_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	cd build-asan && $(ASAN_ENV) ctest --output-on-failure -j$(JOBS)

run: build
	scripts/run-demo $(BUILD)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DCDK_BUILD_TESTS=OFF
	cmake --build build-bench -j$(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCDK_BUILD_FUZZ=ON -DCDK_BUILD_TESTS=OFF -DCDK_BUILD_BENCH=OFF
	cmake --build build-fuzz -j$(JOBS)
	scripts/run-fuzz build-fuzz $(FUZZ_SECONDS)

# cdktool.exe for 32-bit Windows, the release, in build-win32/, and for
# 64-bit Windows in build-win64/; the same CMAKE_FLAGS (page URLs) apply.
windows: deps
	for arch in win32:i686 win64:x86_64; do \
	  dir=build-$${arch%%:*}; \
	  cmake -S . -B $$dir -DCMAKE_BUILD_TYPE=Release -DCDK_BUILD_TESTS=OFF \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-$${arch#*:}.cmake \
	    -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=$(CURDIR)/$$dir $(CMAKE_FLAGS) && \
	  cmake --build $$dir -j$(JOBS) || exit 1; \
	done

clean:
	rm -rf build build-asan build-bench build-fuzz build-win32 build-win64
