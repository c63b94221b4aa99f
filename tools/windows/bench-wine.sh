#!/usr/bin/env bash
# Times the filter in the Linux build and in the 64-bit DLL under Wine, one
# after the other in the same run, so that both see the same machine:
#   tools/windows/bench-wine.sh [ROUNDS] [WxH ...]    (default: 3 1920x1080)
# Both sides are the same C caller (imageprocessing/tests/caller.c, `time`):
# chelsea.ppm mirrored to the size, strength 5, one warm-up call, then a
# second of calls; only the call is timed. Needs `make build` and
# `make windows-x64`. Prints each pair and the ratio of their medians.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
rounds="${1:-3}"
shift || true
sizes=("${@:-1920x1080}")
data="$root/imageprocessing/tests/data"
linux=("$root/build/bin/imageprocessing_caller")
windows=("$root/tools/windows/wine.sh" x64 "$root/build-windows-x64/wineprefix"
         "$root/build-windows-x64/bin/imageprocessing_caller.exe")
for f in "${linux[0]}" "${windows[3]}"; do
  [ -f "$f" ] || { echo "bench-wine: $f is missing (make build windows-x64)" >&2; exit 1; }
done

echo "bench-wine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2-), $(nproc --all) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
for ((round = 1; round <= rounds; ++round)); do
  for size in "${sizes[@]}"; do
    l="$("${linux[@]}" time "$size" "$data" "$root/build/bin/libImageProcessing.so")"
    w="$("${windows[@]}" time "$size" "$data" | tr -d '\r')"
    median() { sed -n 's/.*median \([0-9.]*\) ms.*/\1/p' <<<"$1"; }
    ratio="$(awk -v w="$(median "$w")" -v l="$(median "$l")" 'BEGIN { printf "%.2f", w / l }')"
    echo "round $round  Linux: $l"
    echo "round $round  Wine:  $w   (Wine / Linux ${ratio}x)"
  done
done
echo "bench-wine: load $(cut -d' ' -f1-3 /proc/loadavg) at the end"
