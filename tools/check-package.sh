#!/usr/bin/env bash
# Builds the Debian packages from a configured build folder and checks them the
# way Debian and a user meet them: lintian, the declared dependencies, the
# desktop entry and AppStream metadata, installation into a disposable root,
# the files in their usual places, the library usable through pkg-config and
# find_package, the program opening a picture with the installed library, and a
# removal and purge that leave nothing.
set -euo pipefail

build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
packages=("$work"/out/*.deb "$work"/out/*.ddeb)
declare -A file_of
for deb in "${packages[@]}"; do
  file_of[$(dpkg-deb -f "$deb" Package)]=$deb
  echo "package: $(basename "$deb")"
done
for name in morvane libimageprocessing1 libimageprocessing-dev morvane-dbgsym libimageprocessing1-dbgsym; do
  [ -n "${file_of[$name]:-}" ] || fail "no package $name"
done
[ ${#packages[@]} -eq 5 ] || fail "expected 5 packages, got ${#packages[@]}"

depends=$(dpkg-deb -f "${file_of[morvane]}" Depends)
for need in libimageprocessing1 libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins fonts-wqy-microhei; do
  grep -q "$need" <<<"$depends" || fail "morvane's Depends lacks $need: $depends"
done
grep -q 'libimageprocessing1 (= ' <<<"$(dpkg-deb -f "${file_of[libimageprocessing-dev]}" Depends)" ||
  fail "libimageprocessing-dev does not depend on its exact runtime library"
grep -q 'libhwy' <<<"$(dpkg-deb -f "${file_of[libimageprocessing1]}" Depends)" ||
  fail "libimageprocessing1 does not depend on the libraries it links"

# Errors and warnings fail; an informational tag is allowed only where
# packaging/README.md gives its reason.
if command -v lintian >/dev/null; then
  lintian --display-info --fail-on error,warning "${packages[@]}" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors or warnings"; }
  while read -r tag; do
    grep -q -- "\`$tag\`" "$here/packaging/README.md" || { cat "$work/lintian.log"; fail "lintian tag $tag has no reason in packaging/README.md"; }
  done < <(sed -n 's/^[IP]: [^:]*: \([a-z0-9-]*\).*/\1/p' "$work/lintian.log" | sort -u)
  echo "check-package: lintian $(lintian --version | awk '{print $2}'): no errors or warnings"
else
  fail "lintian is not installed (tools/install-deps.sh installs it)"
fi

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The packages' own dependencies are installed on this machine, not in the disposable root.
dpkg --root="$root" --log=/dev/null --force-depends -i "${packages[@]}" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i failed"; }

libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for file in usr/bin/morvane usr/bin/morvane-bench usr/libexec/morvane/morvane-bench-worker \
            usr/share/man/man1/morvane-bench.1.gz "$libdir/libImageProcessing.so.1" "$libdir/libImageProcessing.so" \
            usr/include/ImageProcessing.h "$libdir/pkgconfig/ImageProcessing.pc" \
            "$libdir/cmake/ImageProcessing/ImageProcessingConfig.cmake" \
            usr/share/man/man1/morvane.1.gz usr/share/metainfo/invalid.morvane.morvane.metainfo.xml \
            usr/share/applications/morvane.desktop usr/share/icons/hicolor/scalable/apps/morvane.svg \
            usr/share/icons/hicolor/16x16/apps/morvane.png usr/share/icons/hicolor/32x32/apps/morvane.png \
            usr/share/icons/hicolor/48x48/apps/morvane.png usr/share/icons/hicolor/256x256/apps/morvane.png; do
  [ -e "$root/$file" ] || fail "missing /$file"
done
for name in morvane libimageprocessing1 libimageprocessing-dev; do
  for file in copyright changelog.gz; do
    [ -e "$root/usr/share/doc/$name/$file" ] || fail "missing /usr/share/doc/$name/$file"
  done
done
[ "$(readelf -d "$root/$libdir/libImageProcessing.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')" = libImageProcessing.so.1 ] ||
  fail "the library's SONAME is not libImageProcessing.so.1"
for binary in usr/bin/morvane usr/bin/morvane-bench usr/libexec/morvane/morvane-bench-worker \
              "$libdir/libImageProcessing.so.1"; do
  file -L "$root/$binary" | grep -q ', stripped' || fail "/$binary is not stripped"
done
# The program opens the library by its own rules; a search path in the
# program would be searched first and for every library Qt loads too.
! readelf -d "$root/usr/bin/morvane" | grep -q 'R\(UN\)\{0,1\}PATH' || fail "the installed program carries a search path"

grep -q '^Exec=morvane %F$' "$root/usr/share/applications/morvane.desktop" || fail "the desktop entry passes no files"
grep -q '^MimeType=.*image/png;' "$root/usr/share/applications/morvane.desktop" || fail "the desktop entry does not offer PNG"
grep -q '^Categories=.*Graphics' "$root/usr/share/applications/morvane.desktop" || fail "desktop entry is not in Graphics"
desktop-file-validate "$root/usr/share/applications/morvane.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/invalid.morvane.morvane.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; fail "the AppStream metadata does not validate"; }

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
readelf -d "$work/use-pc" | grep -q 'NEEDED.*\[libImageProcessing.so.1\]' || fail "pkg-config build does not need libImageProcessing.so.1"

mkdir -p "$work/consumer"
cp "$work/use.c" "$work/consumer/use.c"
cat >"$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(ImageProcessing 1 REQUIRED)
add_executable(use use.c)
target_link_libraries(use PRIVATE ImageProcessing::ImageProcessing)
CM
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$root/usr" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
LD_LIBRARY_PATH="$root/$libdir" "$work/consumer/build/use" || fail "find_package build does not run"

# The installed program opens a picture named on its command line, which runs
# the filter, and so loads the installed library by its versioned name; it keeps
# running until it is stopped.
QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$root/$libdir" \
  "$root/usr/bin/morvane" "$here/tests/data/jpeg/testorig.jpg" >"$work/run.log" 2>&1 &
program=$!
loaded=no
for _ in $(seq 100); do
  grep -q "$root/$libdir/libImageProcessing.so.1" "/proc/$program/maps" 2>/dev/null && { loaded=yes; break; }
  kill -0 "$program" 2>/dev/null || break
  sleep 0.1
done
sleep 1
kill "$program" 2>/dev/null || { cat "$work/run.log"; fail "the installed program did not keep running"; }
wait "$program" || true
[ "$loaded" = yes ] || { cat "$work/run.log"; fail "the installed program did not load the installed library"; }

# The installed bench measures the installed library, which it finds as the
# window does, on a photo, through the worker it finds in libexec.
LD_LIBRARY_PATH="$root/$libdir" "$root/usr/bin/morvane-bench" --quiet --runs 3 --json "$work/bench.json" \
  "$here/tests/data/jpeg/testorig.jpg" >"$work/bench.log" 2>&1 || { cat "$work/bench.log"; fail "the installed morvane-bench failed"; }
python3 - "$work/bench.json" "$root/$libdir/libImageProcessing.so.1" <<'PY' || fail "the installed morvane-bench did not measure the installed library"
import json, sys
run = json.load(open(sys.argv[1]))
assert run["builds"][0]["file"] == sys.argv[2], run["builds"]
photo = [r for r in run["results"] if not r["edge_shape"]]
assert len(photo) == 1 and photo[0]["result"] == 0 and photo[0]["median_ms"] > 0, photo
PY

names=(morvane-dbgsym libimageprocessing1-dbgsym libimageprocessing-dev morvane libimageprocessing1)
dpkg --root="$root" --log=/dev/null -r "${names[@]}" >"$work/remove.log" 2>&1 ||
  { cat "$work/remove.log"; fail "dpkg -r failed"; }
# dpkg removes the emptied folders too, so a missing /usr is a clean removal.
left=$({ find "$root/usr" "$root/etc" -type f 2>/dev/null || true; } | wc -l)
[ "$left" -eq 0 ] || fail "removal left $left files"
# Nothing is left to purge when no package has configuration files; dpkg says so.
dpkg --root="$root" --log=/dev/null -P "${names[@]}" >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "dpkg -P failed"; }
known=$(dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${db:Status-Abbrev} ${Package}\n' 2>/dev/null | grep -cv '^un ' || true)
[ "$known" -eq 0 ] || fail "dpkg still knows $known packages after the purge"
leftovers=$(find "$root/var/lib/dpkg/info" -type f ! -name format)
[ -z "$leftovers" ] || fail "the purge left files in dpkg's records: $leftovers"
echo "check-package: the packages pass lintian, install, work, and remove and purge cleanly"
