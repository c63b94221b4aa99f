# Thin wrapper over the CMake presets; tools/install-deps.sh installs what is missing.
.PHONY: deps build run test test-release test-asan test-debian13 fuzz bench package clean

deps:
	bash tools/install-deps.sh

build: deps
	cmake --preset release
	cmake --build --preset release

# What `make run` opens: a photo shipped with the repository (tests/data/photos,
# with its provenance), unless PICTURE names another.
PICTURE ?= tests/data/photos/chelsea.png
run: build
	./build/bin/morvane "$(PICTURE)"

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

# The whole of `make test` on Debian 13, in a root of its own (kept in .debian13/).
test-debian13:
	bash tools/test-debian13.sh

package: build
	cd build && cpack -G DEB

bench: build
	./build/bin/filter_bench

clean:
	rm -rf build build-asan build-fuzz
