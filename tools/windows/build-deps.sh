#!/usr/bin/env bash
# Builds what the Windows builds link statically, for one target (x64 or
# x86), into .windows/ARCH/prefix, where the toolchain files look first:
# Highway from Debian's source package (fetch-highway-source.sh) and
# GoogleTest from the sources that Debian's libgtest-dev ships. Each is
# built once; delete .windows/ARCH to build them again.
# Run as: tools/windows/build-deps.sh x64|x86
set -euo pipefail
arch="${1:?usage: build-deps.sh x64|x86}"
root="$(cd "$(dirname "$0")/../.." && pwd)"
toolchain="$root/cmake/toolchains/windows-$arch.cmake"
[ -f "$toolchain" ] || { echo "build-deps: no toolchain file for '$arch'" >&2; exit 1; }
work="$root/.windows/$arch"
prefix="$work/prefix"
jobs="${MORVANE_JOBS:-2}"

bash "$root/tools/windows/fetch-highway-source.sh"
highway_version="$(cat "$root/.windows/src/highway.version")"
gtest_version="$(dpkg-query -W -f='${Version}' googletest)"

# build NAME VERSION SOURCE CMAKE-OPTIONS...: configures, builds and installs
# SOURCE unless the same version is installed already.
build() {
  local name="$1" version="$2" source="$3"
  shift 3
  local stamp="$prefix/$name.version"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then return; fi
  echo "build-deps: $name ($version) for $arch"
  rm -rf "$work/build-$name"
  cmake -S "$source" -B "$work/build-$name" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "$@" >/dev/null
  cmake --build "$work/build-$name" -j "$jobs"
  cmake --install "$work/build-$name" >/dev/null
  echo "$version" > "$stamp"
}

# Only the core library: the filter uses Highway's contrib math as headers
# alone, so the contrib libraries (the sorts take many minutes) are not built.
build highway "$highway_version" "$root/.windows/src/highway" \
  -DHWY_ENABLE_CONTRIB=OFF -DHWY_ENABLE_EXAMPLES=OFF -DHWY_ENABLE_TESTS=OFF
install -D -m 644 "$root/.windows/src/highway/hwy/contrib/math/math-inl.h" \
  "$prefix/include/hwy/contrib/math/math-inl.h"
build googletest "$gtest_version" /usr/src/googletest
