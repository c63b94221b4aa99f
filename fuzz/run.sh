#!/usr/bin/env bash
# Runs each fuzz target of the fuzz preset's build for a bounded time:
#   fuzz/run.sh [SECONDS_PER_TARGET]   (default 600)
# Corpora grow in build-fuzz/corpus/<target>, seeded from tests/data and from the
# inputs in fuzz/regressions; anything that breaks a target is written to
# build-fuzz/findings/ and makes the run fail. Add such an input to
# fuzz/regressions/<target>/ once it is mended, so it runs as a test from then on.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
build=build-fuzz
status=0

seed() {  # seed <target> <files...>: copies seeds into the target's corpus once
  local corpus=$build/corpus/$1
  shift
  mkdir -p "$corpus"
  [ -n "$(ls -A "$corpus")" ] || cp "$@" "$corpus/"
}

seed load tests/data/bmpsuite/*/*.bmp tests/data/jpeg/*.jpg tests/data/photos/*.png fuzz/regressions/load/*
seed filter fuzz/regressions/filter/* tests/data/jpeg/testimgcrop.jpg
mkdir -p $build/findings

for target in load filter; do
  echo "fuzz: $target for ${seconds} s"
  # Large claimed pictures legitimately take a gigabyte or two under ASan, and
  # time: a 146-byte RLE bitmap that ends its code with the end mark, or an
  # arithmetic-coded JPEG, whose formats set no floor on the data a size needs,
  # may claim up to the 250 megapixels the loader accepts, and decoding,
  # converting and checking that many pixels took 15-25 s per run in this
  # instrumented build on a 2-core EPYC (libFuzzer runs such an input twice,
  # the second time looking for leaks). 60 s left too little margin on a slower or busier machine; the
  # timeout is only there to catch hangs.
  QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='qt.gui.imageio*=false' \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/tools/lsan.supp:print_suppressions=0 \
    "$build/bin/${target}_fuzzer" -max_total_time="$seconds" -timeout=300 -rss_limit_mb=6144 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
      "$build/corpus/$target" || status=1
done
exit $status
