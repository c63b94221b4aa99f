#!/usr/bin/env bash
# Installs the Debian packages (12 or 13) that building, testing and packaging need.
# Installs only what is missing, so a second run costs a dpkg query and nothing more.
# Works as root or through sudo. With windows-x64 or windows-x86 it installs
# instead what that Windows cross build and its tests under Wine need.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  libgtest-dev libgmock-dev libhwy-dev
  xvfb xauth x11-utils xdotool fonts-wqy-microhei qt6-translations-l10n
  dpkg-dev file desktop-file-utils appstream lintian
  python3 chromium
)
# The fuzz preset's compiler, which Debian 13 no longer ships; make test does not use it.
. /etc/os-release
[ "${VERSION_ID:-}" = 12 ] && packages+=(clang-16 libclang-rt-16-dev libomp-16-dev)
# Qt's SVG image plugin, so that the loader's tests see it refuse a format Qt
# itself would render: in libqt6svg6 on Debian 12, a package of its own on 13.
[ "${VERSION_ID:-}" != 12 ] && packages+=(qt6-svg-plugins)

# The Windows builds: mingw-w64 GCC with POSIX threads, Wine, and what
# rebuilds Debian's Highway source package (dpkg-dev) and GoogleTest.
case "${1:-}" in
  windows-x64) packages=(cmake ninja-build dpkg-dev libhwy-dev googletest g++-mingw-w64-x86-64-posix wine64) ;;
  windows-x86) packages=(cmake ninja-build dpkg-dev libhwy-dev googletest g++-mingw-w64-i686-posix wine32:i386) ;;
  "") ;;
  *) echo "install-deps: unknown argument '$1'" >&2; exit 1 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine comes from the i386 architecture.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
