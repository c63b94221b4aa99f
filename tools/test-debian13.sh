#!/usr/bin/env bash
# Builds and tests the project on Debian 13 (trixie): makes a trixie root from
# the Debian archive that this machine's apt uses (once; later runs reuse it, and
# DEBIAN13_ROOT puts it elsewhere), copies the work tree into it as git sees it
# and runs `make test` there. Needs root, for mmdebstrap, mount and chroot.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
root=${DEBIAN13_ROOT:-$here/.debian13/root}

[ "$(id -u)" -eq 0 ] || { echo "test-debian13: needs root (mmdebstrap, mount, chroot)" >&2; exit 1; }

if [ ! -x "$root/usr/bin/make" ]; then
  mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
           awk '$2 !~ /-security$/ { print $1; exit }')
  [ -n "$mirror" ] || { echo "test-debian13: this machine's apt names no Debian archive" >&2; exit 1; }
  command -v mmdebstrap >/dev/null || apt-get install -y -q --no-install-recommends mmdebstrap
  rm -rf "$root" "$root.partial"
  mkdir -p "$(dirname "$root")"
  # The large build dependencies come with the root; install-deps.sh adds the rest.
  mmdebstrap --variant=apt --components=main \
    --include=ca-certificates,make,build-essential,cmake,ninja-build,pkg-config,qt6-base-dev,libgtest-dev,libhwy-dev,xvfb,xauth \
    trixie "$root.partial" "deb $mirror trixie main"
  mv "$root.partial" "$root"
fi

# The tree as git sees it, without build folders or other ignored files.
rm -rf "$root/src"
mkdir -p "$root/src"
git -C "$here" ls-files -z --cached --others --exclude-standard |
  (cd "$here" && xargs -0 tar -cf - --no-recursion) | tar -xf - -C "$root/src"
cp /etc/resolv.conf "$root/etc/resolv.conf"

# A mount namespace of its own takes the root's mounts away when the run ends.
started=$(date +%s)
set +e
unshare --mount --fork /bin/sh -ec '
  root=$1
  mount --make-rprivate /
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs tmpfs "$root/tmp"
  exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    CI="${CI:-}" /bin/sh -ec "cd /src && bash tools/install-deps.sh && make test"
' test-debian13 "$root"
status=$?
set -e
echo "test-debian13: make test on Debian $(cat "$root/etc/debian_version") ended with status $status after $(( $(date +%s) - started )) s"
exit "$status"
