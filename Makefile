# Thin wrapper over the CMake presets; tools/install-deps.sh installs what is missing.
.PHONY: deps build run test test-release test-asan bench package clean

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

package: build
	cd build && cpack -G DEB

bench: build
	./build/bin/filter_bench

clean:
	rm -rf build build-asan
