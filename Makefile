# Thin wrapper over the CMake presets; tools/install-deps.sh installs what is missing.
.PHONY: deps build run test test-release test-asan test-debian13 fuzz bench package clean \
	windows windows-x64 windows-x86 test-windows test-windows-x64 test-windows-x86

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

# ImageProcessing.dll and its zip for 64-bit and 32-bit Windows programs,
# cross-built with mingw-w64 against Highway built from Debian's own source
# package (tools/windows/); build-windows-x64/ImageProcessing-*-win64.zip etc.
windows: windows-x64 windows-x86

windows-x64 windows-x86:
	bash tools/install-deps.sh $@
	bash tools/windows/build-deps.sh $(@:windows-%=%)
	cmake --preset $@
	cmake --build --preset $@

# The library's tests and the DLL's checks under Wine; the byte comparison
# needs the Linux build too. Where Wine cannot run the target's programs
# (32-bit Wine needs a kernel that runs 32-bit programs), only the checks of
# the DLL that need no Wine run, and it says so.
test-windows: test-windows-x64 test-windows-x86

test-windows-x64 test-windows-x86: test-windows-%: windows-% build
	@if tools/windows/wine.sh $* build-windows-$*/wineprefix --version >/dev/null; then \
	  ctest --preset windows-$*; \
	else \
	  echo "test-windows-$*: Wine cannot run $* programs here; only the DLL's checks that need no Wine"; \
	  ctest --test-dir build-windows-$*/packaging/windows -R '^imageprocessing_dll_' --output-on-failure; \
	fi

package: build
	cd build && cpack -G DEB

bench: build
	./build/bin/filter_bench

clean:
	rm -rf build build-asan build-fuzz build-windows-x64 build-windows-x86
