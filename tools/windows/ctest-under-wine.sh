#!/bin/sh
# Runs a Windows build's tests with one Wine server, and Wine's own services,
# kept up for the whole run:
#   ctest-under-wine.sh x64|x86 [CTEST ARGUMENTS...]
# A server started on demand leaves a few seconds after its last program, and
# the programs that start a fresh one race to start its services; a test
# caught in either fails ("wine client error: recvmsg: Connection reset by
# peer") or hangs, which says nothing about the library.
set -eu
arch="$1"
shift
prefix="build-windows-$arch/wineprefix"
export WINEPREFIX="$PWD/$prefix"
server=/usr/lib/wine/wineserver
"$server" -w
"$server" -p
trap '"$server" -k 2>/dev/null || true' EXIT
tools/windows/wine.sh "$arch" "$prefix" cmd.exe /c exit
ctest --preset "windows-$arch" "$@"
