#!/bin/sh
# Finishes what CPack leaves undone in the packages named as arguments:
# - a package that runs ldconfig through a trigger loses the maintainer scripts
#   in which CPack calls ldconfig as well;
# - programs and libraries lose the sections that only name the compiler, as
#   Debian's own packages do;
# - a debug-symbols package gets symbol files that are not executable, and its
#   documentation as a link to that of its package;
# - every package gets an md5sums file of what it now holds (CPack's lists a
#   debug-symbols package's files where it staged them).
set -eu

for package in "$@"; do
  case "$package" in *.deb | *.ddeb) ;; *) continue ;; esac
  tree=$(mktemp -d)
  dpkg-deb -R "$package" "$tree"
  if grep -qx 'activate-noawait ldconfig' "$tree/DEBIAN/triggers" 2>/dev/null; then
    rm -f "$tree/DEBIAN/postinst" "$tree/DEBIAN/postrm"
  fi
  if [ "$(dpkg-deb -f "$package" Auto-Built-Package)" = debug-symbols ]; then
    name=$(dpkg-deb -f "$package" Package)
    find "$tree/usr/lib/debug" -type f -exec chmod 0644 {} +
    mkdir -p "$tree/usr/share/doc"
    ln -s "${name%-dbgsym}" "$tree/usr/share/doc/$name"
  else
    find "$tree/usr" -type f -exec sh -c 'file -b "$1" | grep -q "^ELF"' sh {} \; \
      -exec objcopy --remove-section=.comment --remove-section=.note {} \;
  fi
  (cd "$tree" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$tree/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -Zxz -b "$tree" "$package" >/dev/null
  rm -rf "$tree"
done
