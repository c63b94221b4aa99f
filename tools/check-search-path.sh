#!/usr/bin/env bash
# Fails when a program's DT_RPATH or DT_RUNPATH has an entry that names the
# current folder (empty, "." or relative): the loader would then take libraries
# from wherever the program is started.
set -euo pipefail

program=${1:?usage: check-search-path.sh PROGRAM}
dynamic=$(readelf -d "$program") || { echo "check-search-path: cannot read $program" >&2; exit 1; }
status=0
while IFS= read -r path; do
  IFS=: read -r -a entries <<<"$path:"
  for entry in "${entries[@]}"; do
    case "$entry" in
      /* | '$ORIGIN' | '$ORIGIN/'*) ;;
      *) echo "check-search-path: $program searches \"$entry\" (in \"$path\")" >&2; status=1; break ;;
    esac
  done
done < <(sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' <<<"$dynamic")
[ "$status" -eq 0 ] && echo "check-search-path: $program names no relative folder in its search path"
exit "$status"
