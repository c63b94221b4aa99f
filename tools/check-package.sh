#!/usr/bin/env bash
# Builds the Debian package from a configured build folder and checks it the way
# a user meets it: declared dependencies, installation into a disposable root,
# the files in their usual places, the library usable through pkg-config and
# find_package, the program starting, and a removal that leaves nothing behind.
set -euo pipefail

build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
for need in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-wqy-microhei; do
  grep -q "$need" <<<"$depends" || fail "Depends lacks $need: $depends"
done

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The dependencies are installed on this machine, not in the disposable root.
dpkg --root="$root" --log=/dev/null --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }

library=$(find "$root/usr/lib" -name libImageProcessing.so | head -n 1)
[ -n "$library" ] || fail "the library is not under /usr/lib"
libdir=$(dirname "${library#"$root/"}")
for file in usr/bin/morvane "$libdir/libImageProcessing.so" usr/include/ImageProcessing.h \
            "$libdir/pkgconfig/ImageProcessing.pc" "$libdir/cmake/ImageProcessing/ImageProcessingConfig.cmake" \
            usr/share/applications/morvane.desktop usr/share/icons/hicolor/scalable/apps/morvane.svg \
            usr/share/icons/hicolor/16x16/apps/morvane.png usr/share/icons/hicolor/32x32/apps/morvane.png \
            usr/share/icons/hicolor/48x48/apps/morvane.png usr/share/icons/hicolor/256x256/apps/morvane.png; do
  [ -e "$root/$file" ] || fail "missing /$file"
done
grep -q '^Categories=.*Graphics' "$root/usr/share/applications/morvane.desktop" || fail "desktop entry is not in Graphics"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$root/usr/share/applications/morvane.desktop"; fi

# The installed program finds the installed library beside its own prefix.
rpath=$(readelf -d "$root/usr/bin/morvane" | sed -n 's/.*(RPATH).*\[\(.*\)\]/\1/p')
[ -n "$rpath" ] || fail "the program carries no search path for its library"
[ -e "$root/usr/bin/${rpath#\$ORIGIN/}/libImageProcessing.so" ] || fail "search path $rpath does not reach the library"

# Another program builds against the installed library both ways.
cat >"$work/use.c" <<'C'
#include <ImageProcessing.h>
int main(void) {
  unsigned char pixel[4] = {10, 20, 30, 0};
  return DetailEnhancementByBilaterFilter(pixel, 1, 1, 4, 5) == 0 ? 0 : 1;
}
C
# The root's /usr/include is not this machine's, so system paths stay in the flags.
flags=$(PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$root/$libdir/pkgconfig" \
        PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1 \
        pkg-config --cflags --libs ImageProcessing)
cc "$work/use.c" -o "$work/use-pc" $flags
LD_LIBRARY_PATH="$root/$libdir" "$work/use-pc" || fail "pkg-config build does not run"

mkdir -p "$work/consumer"
cp "$work/use.c" "$work/consumer/use.c"
cat >"$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(ImageProcessing REQUIRED)
add_executable(use use.c)
target_link_libraries(use PRIVATE ImageProcessing::ImageProcessing)
CM
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
"$work/consumer/build/use" || fail "find_package build does not run"

# The program starts and keeps running until it is stopped.
set +e
QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/morvane" >"$work/run.log" 2>&1
status=$?
set -e
[ "$status" -eq 124 ] || { cat "$work/run.log"; fail "the installed program exited with $status"; }

dpkg --root="$root" --log=/dev/null --force-script-chrootless -r morvane >/dev/null
# dpkg removes the emptied folders too, so a missing /usr is a clean removal.
left=$({ find "$root/usr" -type f 2>/dev/null || true; } | wc -l)
[ "$left" -eq 0 ] || fail "removal left $left files"
echo "check-package: the package installs, works and removes cleanly"
