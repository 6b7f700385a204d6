# Front door for a fresh Debian 12 machine. Each target installs what is missing,
# configures with CMake (Ninja) and builds.
.PHONY: all run test test-tsan bench deps build build-asan package clean

CMAKE_FLAGS ?=
CTEST_FLAGS ?= --output-on-failure --timeout 600

all: build

deps:
	@scripts/install-deps.sh build

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build

build-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-asan

run: build
	./build/corvane $(ARGS)

test: build build-asan
	cd build && ctest $(CTEST_FLAGS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ctest $(CTEST_FLAGS)

# The copy code and its tests under ThreadSanitizer (not part of make test). Only these test
# programs are built in build-tsan; ctest leaves out the placeholders of the ones not built.
TSAN_TARGETS = corvane test_engine_FileOps test_engine_Executor test_engine_Media \
               test_app_InterruptedCopy

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build-tsan --target $(TSAN_TARGETS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 $(TSAN_OPTIONS)" \
	  ctest $(CTEST_FLAGS) -E '_NOT_BUILT$$|^(install_tree|layers)$$'

# Debian package build/corvane_<version>_<arch>.deb of the installed tree (bin, desktop
# entry, icons, metainfo, manual page).
package: build
	cd build && cpack -G DEB

bench:
	@scripts/install-deps.sh bench
	cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BENCH=ON -DCORVANE_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build build-bench
	bench/run.sh build-bench

clean:
	rm -rf build build-asan build-tsan build-bench
