#!/usr/bin/env bash
# package.sh [OUT_DIR]
# Builds the Debian packages wendlop and wendlop-data with dpkg-buildpackage
# from a copy of this tree (its files under version control, as they are now,
# and new ones not ignored), runs lintian on them and prints their sizes.
# The packages land in OUT_DIR (default build/packages). The package build
# runs the tests too, unless DEB_BUILD_OPTIONS says nocheck.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/packages}
for tool in dpkg-buildpackage dh lintian; do
  command -v "$tool" >/dev/null || {
    echo "package.sh: $tool is missing (scripts/deps.sh --all installs it)" >&2
    exit 1
  }
done

version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# dpkg-buildpackage writes beside the tree it builds, so it builds a copy.
tree=$tmp/wendlop-$upstream
mkdir "$tree"
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
  [ -e "$f" ] && printf '%s\0' "$f"
done | tar --null -T - -cf - | tar -xf - -C "$tree"

export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-parallel=$(nproc)}
start=$(date +%s)
if ! (cd "$tree" && dpkg-buildpackage -b -us -uc >"$tmp/build.log" 2>&1); then
  tail -n 60 "$tmp/build.log" >&2
  echo "package.sh: dpkg-buildpackage failed (the end of its log is above)" >&2
  exit 1
fi
echo "package.sh: built in $(($(date +%s) - start)) s"

mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.changes "$out"/*.buildinfo
cp "$tmp"/*.deb "$tmp"/*.changes "$tmp"/*.buildinfo "$out"/
for deb in "$out"/*.deb; do
  echo "$(basename "$deb"): $(stat -c %s "$deb") bytes, installed $(dpkg-deb -f "$deb" Installed-Size) KiB"
done

# lintian exits non-zero on errors only; its warnings are printed for the record.
changes=$(ls "$out"/*.changes)
echo "lintian $(lintian --version | awk '{print $2}') on $(basename "$changes"):"
status=0
lintian --display-info --tag-display-limit 0 "$changes" >"$tmp/lintian" 2>&1 || status=$?
if [ -s "$tmp/lintian" ]; then sed 's/^/  /' "$tmp/lintian"; else echo "  (nothing to report)"; fi
exit "$status"
