# Thin wrapper over the CMake presets; tools/install-deps.sh installs what is missing.
.PHONY: deps build run test test-release test-asan fuzz bench package clean

deps:
	bash tools/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

run: build
	./build/bin/morvane

test-release: build
	ctest --preset release

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

test: test-release test-asan

# Replays the inputs that once broke a fuzz target, then fuzzes each target for
# FUZZ_SECONDS seconds.
FUZZ_SECONDS ?= 600
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	ctest --preset fuzz
	bash fuzz/run.sh $(FUZZ_SECONDS)

package: build
	cd build && cpack -G DEB

bench: build
	./build/bin/filter_bench

clean:
	rm -rf build build-asan build-fuzz
