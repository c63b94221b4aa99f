#!/usr/bin/env bash
# Unpacks Debian's own source package of Highway, of exactly the version that
# libhwy-dev has on this machine (the one the Linux build uses), into
# .windows/src/highway, with Debian's patches applied. apt fetches it from
# the archive this machine already uses (its deb lines, read as deb-src),
# with a sources list, state and cache of its own under .windows/apt, so the
# machine's apt configuration stays as it is. The download and its index
# are kept, so a second run does nothing.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
top="$root/.windows"
apt_dir="$top/apt"
src_dir="$top/src"

package="$(dpkg-query -W -f='${source:Package}' libhwy-dev)"
version="$(dpkg-query -W -f='${source:Version}' libhwy-dev)"
stamp="$src_dir/highway.version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$package $version" ]; then
  exit 0
fi

mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" "$src_dir"
# The machine's Debian archive, as source lines; its keyring signs both.
sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$apt_dir/debian-src.sources"
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/debian-src.sources"
  -o "Dir::Etc::SourceParts=-"
  -o "Dir::State=$apt_dir/state"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=root"
)
cd "$apt_dir"
if ! apt-get "${apt_options[@]}" --print-uris --only-source source "$package=$version" >/dev/null 2>&1; then
  echo "fetch-highway-source: reading the source index of the Debian archive"
  apt-get "${apt_options[@]}" -q update
fi
echo "fetch-highway-source: $package $version"
rm -rf "$apt_dir/unpacked"
mkdir "$apt_dir/unpacked"
(cd "$apt_dir/unpacked" && apt-get "${apt_options[@]}" -q --only-source source "$package=$version")
rm -rf "$src_dir/highway"
mv "$apt_dir/unpacked/$package-"*/ "$src_dir/highway"
rm -rf "$apt_dir/unpacked"
echo "$package $version" > "$stamp"
