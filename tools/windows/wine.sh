#!/bin/sh
# Runs a Windows console program under Wine with no display, in a Wine
# prefix of its own that is made on first use:
#   wine.sh x64|x86 PREFIX PROGRAM [ARGUMENTS...]
# The toolchain files make it CMake's emulator, so CTest and GoogleTest's
# test discovery run the Windows builds' programs through it.
set -eu
arch="$1"
prefix="$2"
shift 2
case "$prefix" in /*) ;; *) prefix="$PWD/$prefix" ;; esac
case "$arch" in
  x64) loader=/usr/lib/wine/wine64 winearch=win64 ;;
  x86) loader=/usr/lib/wine/wine winearch=win32 ;;
  *) echo "wine.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
[ -x "$loader" ] || { echo "wine.sh: $loader is missing (make windows installs Wine)" >&2; exit 2; }
# 32-bit Wine is itself a 32-bit Linux program, which some kernels refuse.
if [ "$arch" = x86 ] && ! "$loader" --version >/dev/null 2>&1; then
  echo "wine.sh: $loader cannot run here: this machine does not run 32-bit x86 Linux programs" >&2
  exit 77
fi
export WINEPREFIX="$prefix" WINEARCH="$winearch" WINEDEBUG=-all
# No Mono or Gecko installer prompts while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  # Tests that start at once wait for the one that makes the prefix.
  flock "$prefix.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$0" wineboot --init >/dev/null 2>&1' "$loader"
fi
exec "$loader" "$@"
