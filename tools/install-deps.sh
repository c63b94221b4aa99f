#!/usr/bin/env bash
# Installs the Debian packages (12 or 13) that building, testing and packaging need.
# Installs only what is missing, so a second run costs a dpkg query and nothing more.
# Works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6
  libgtest-dev libgmock-dev libhwy-dev
  xvfb xauth x11-utils fonts-wqy-microhei qt6-translations-l10n
  dpkg-dev file desktop-file-utils appstream lintian
  python3 chromium
)
# The fuzz preset's compiler, which Debian 13 no longer ships; make test does not use it.
. /etc/os-release
[ "${VERSION_ID:-}" = 12 ] && packages+=(clang-16 libclang-rt-16-dev libomp-16-dev)

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
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
