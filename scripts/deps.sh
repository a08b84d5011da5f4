#!/usr/bin/env bash
# deps.sh [--all]
# Installs the Debian packages of scripts/packages.txt (building and playing)
# that are missing; with --all also those of scripts/packages-test.txt.
set -u
here=$(cd "$(dirname "$0")" && pwd)
lists=("$here/packages.txt")
[ "${1:-}" = "--all" ] && lists+=("$here/packages-test.txt")
want=$(sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "${lists[@]}" | awk '{print $1}')
missing=()
for p in $want; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing Debian packages: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  run=(sudo)
elif command -v sudo >/dev/null 2>&1 && [ -t 0 ]; then
  run=(sudo)
else
  echo "Cannot install packages without root. Please run:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${run[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
  "${run[@]}" apt-get update && "${run[@]}" apt-get install -y --no-install-recommends "${missing[@]}" || {
    echo "Package installation failed. Please run:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  }
fi
