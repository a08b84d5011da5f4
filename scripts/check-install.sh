#!/usr/bin/env bash
# check-install.sh [BUILD_DIR]
# Installs the game from BUILD_DIR (default build/release, the folder play.sh
# builds; configured and built if the game is not there yet) into a temporary
# DESTDIR and checks it as a desktop would see it: the desktop entry, the
# metainfo and the manual page are valid, versions agree, the installed
# program holds no path of this tree, and, started from / with an empty HOME
# and without WENDLOP_DATA, it finds its data and draws its frames. A
# sanitized build will not do: the address sanitizer keeps source paths.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
build=${1:-build/release}

if [ ! -x "$build/src/wendlop" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
fi
# Always build: an old binary would check nothing of what is here now.
cmake --build "$build" --target wendlop -j"$(nproc)" >/dev/null
build=$(cd "$build" && pwd)

tmp=$(mktemp -d)
game_pid=""
cleanup() {
  if [ -n "$game_pid" ]; then kill "$game_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() {
  echo "check-install: $*" >&2
  failures=$((failures + 1))
}
need() {
  command -v "$1" >/dev/null || { echo "check-install: $1 is missing (Debian package $2)" >&2; exit 1; }
}
need desktop-file-validate desktop-file-utils
need appstreamcli appstream

# The prefix the tree is installed for is not where it ends up, as when an
# installed tree is moved: the game must find its data all the same.
root=$tmp/root
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
game=$(find "$root/usr/bin" "$root/usr/games" -name wendlop -type f 2>/dev/null | head -n 1 || true)
[ -n "$game" ] || { echo "check-install: no installed wendlop under $root/usr" >&2; exit 1; }
data=$root/usr/share/wendlop
[[ $game == */games/wendlop ]] && data=$root/usr/share/games/wendlop

# The data folder holds what the game reads and nothing else.
folders=$(cd "$data" && find . -mindepth 1 -maxdepth 1 | sort | tr '\n' ' ')
# (packs/ holds the stage packs that ship beside the built-in stages, when there are any)
[ "$folders" = "./bmp ./map ./midi ./replay ./se " ] || [ "$folders" = "./bmp ./map ./midi ./packs ./replay ./se " ] ||
  fail "the data folder holds $folders"
# The packs that ship (the pack Extra) are installed as they are in data/.
if [ -d "$src/data/packs" ]; then
  diff -r "$src/data/packs" "$data/packs" >/dev/null || fail "the installed packs/ differ from data/packs"
fi
for size in 16 32 48 64 128 256; do
  [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/wendlop.png" ] || fail "no ${size}x${size} icon"
done

desktop-file-validate "$root/usr/share/applications/wendlop.desktop" || fail "the desktop entry is not valid"
metainfo=$root/usr/share/metainfo/io.github.wendlop.Wendlop.metainfo.xml
appstreamcli validate --no-net "$metainfo" >"$tmp/appstream" 2>&1 || { cat "$tmp/appstream" >&2; fail "the metainfo is not valid"; }
if command -v man >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$root/usr/share/man/man6/wendlop.6" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "the manual page: $warnings"
fi

# One version everywhere: the program, its newest release in the metainfo,
# the manual page and the Debian changelog.
version=$("$game" --version | awk '{print $2}')
release=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
manual=$(sed -n 's/^\.TH WENDLOP 6 [^ ]* "Wendlop \([^"]*\)".*/\1/p' "$root/usr/share/man/man6/wendlop.6")
debian=$(sed -n '1s/^wendlop (\([^-)]*\).*/\1/p' debian/changelog 2>/dev/null || true)
for other in "$release" "$manual" "$debian"; do
  [ "$other" = "$version" ] || fail "versions differ: program $version, metainfo $release, manual $manual, debian/changelog $debian"
done

# Nothing of this machine's trees, neither as a place to look nor in the debug information.
for tree in "$src" "$(cd "$src" && pwd -P)" "$build" "$(cd "$build" && pwd -P)"; do
  if grep -q -a -F "$tree" "$game"; then fail "the installed game holds the path $tree"; fi
done

# The installed game, from /, with nothing to point it at its data.
mkdir -p "$tmp/home" "$tmp/shots"
(cd / && exec env -u WENDLOP_DATA -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$tmp/home" SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
  "$game" --screenshot-dir "$tmp/shots" >"$tmp/out" 2>"$tmp/err") &
game_pid=$!
for _ in $(seq 200); do
  [ -f "$tmp/shots/frame-000030.png" ] && break
  kill -0 "$game_pid" 2>/dev/null || break
  sleep 0.1
done
kill -TERM "$game_pid" 2>/dev/null || true
status=0
wait "$game_pid" || status=$?
game_pid=""
[ "$status" -eq 0 ] || fail "the installed game ended with status $status: $(cat "$tmp/err")"
[ -f "$tmp/shots/frame-000030.png" ] || fail "the installed game drew no 30 frames: $(cat "$tmp/err")"
if grep -q "data folder" "$tmp/err"; then fail "the installed game did not find its data: $(cat "$tmp/err")"; fi
if grep -q "is left out" "$tmp/err"; then fail "the installed game left a pack out: $(cat "$tmp/err")"; fi
# And it finds each of them by its name: --export writes it from there.
for ini in "$data"/packs/*/pack.ini; do
  [ -f "$ini" ] || continue
  name=$(sed -n 's/^name = //p' "$ini")
  (cd / && env -u WENDLOP_DATA -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$tmp/home" \
    "$game" --export "$name" "$tmp/pack.zip" >/dev/null 2>"$tmp/err") ||
    fail "the installed game does not find its pack $name: $(cat "$tmp/err")"
  rm -f "$tmp/pack.zip"
done
# It writes only what changed (settings, cleared stages, recordings), and
# nothing did.
[ -z "$(ls -A "$tmp/home")" ] || fail "the game wrote into HOME: $(cd "$tmp/home" && find . | tr '\n' ' ')"

if [ "$failures" -gt 0 ]; then
  echo "check-install: $failures failed" >&2
  exit 1
fi
echo "check-install: installed $(cd "$root" && find . -type f | wc -l) files; Wendlop $version runs from ${game#"$root"} and finds ${data#"$root"}"
