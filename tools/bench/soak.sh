#!/usr/bin/env bash
# soak.sh [--display N] [--seconds S] WENDLOP [-- GAME ARGS...]
# Runs the real game for S seconds (default 600) in a virtual X server with the
# dummy audio driver, starting a demonstration whenever the title is back, each
# of the next stage, and reports the game's resident memory at the start, after
# the first minute and at the end, its thread count, and a sample every 10 s.
# Memory that still grows after the first minute is a leak.
#   tools/bench/soak.sh --display 95 build/release/src/wendlop
set -euo pipefail
display=""
seconds=600
while [ $# -gt 1 ]; do
  case $1 in
    --display) display=":$2"; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) break ;;
  esac
done
game=${1:?usage: soak.sh [--display N] [--seconds S] WENDLOP [-- GAME ARGS...]}
shift
[ "${1:-}" = "--" ] && shift
[ "$seconds" -ge 70 ] || { echo "soak: run for at least 70 seconds" >&2; exit 2; }
if [ -z "$display" ]; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
fi
[ -n "$display" ] || { echo "soak: no free X display number" >&2; exit 1; }

home=$(mktemp -d)
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
game_pid=""
clicker=""
cleanup() {
  [ -n "$clicker" ] && kill "$clicker" 2>/dev/null || true
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$home"
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# Recordings, settings and progress, were any written, go to a folder of the
# run's own: the stage picked on the title is a setting the game saves.
DISPLAY=$display SDL_AUDIODRIVER=dummy HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config "$game" "$@" >"$home/game.log" 2>&1 &
game_pid=$!
sleep 3
kill -0 "$game_pid" 2>/dev/null || { echo "soak: the game ended early:" >&2; cat "$home/game.log" >&2; exit 1; }

# On the title, the right arrow (text cell 25 of row 23, 16-pixel cells) picks
# the next stage and DEMO (cells 27..32) starts its demonstration. A click
# ends a demonstration, so the pair comes every 20 seconds: a short
# demonstration plays to its clear and the title, a long one is ended by the
# arrow's click, and DEMO then starts the next stage's.
window=$(DISPLAY=$display xdotool search --name '^Wendlop' | head -1)
(while :; do
  DISPLAY=$display xdotool mousemove --window "$window" 408 376 mousedown 1 sleep 0.1 mouseup 1 \
    sleep 0.2 mousemove --window "$window" 456 376 mousedown 1 sleep 0.1 mouseup 1
  sleep 20
done) >/dev/null 2>&1 &
clicker=$!

status() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$game_pid/status"; }
started=$(date +%s)
rssStart=$(status VmRSS)
threadsStart=$(status Threads)
rssMinute=""
peak=$rssStart
echo "soak: $seconds s of demonstrations on $display, game pid $game_pid"
echo "soak: t=0 s rss=${rssStart} kB threads=${threadsStart}"
while :; do
  sleep 10
  kill -0 "$game_pid" 2>/dev/null || { echo "soak: the game ended after $(( $(date +%s) - started )) s:" >&2; cat "$home/game.log" >&2; exit 1; }
  t=$(( $(date +%s) - started ))
  rss=$(status VmRSS)
  [ "$rss" -gt "$peak" ] && peak=$rss
  echo "soak: t=${t} s rss=${rss} kB threads=$(status Threads)"
  if [ -z "$rssMinute" ] && [ "$t" -ge 60 ]; then rssMinute=$rss; fi
  [ "$t" -ge "$seconds" ] && break
done
rssEnd=$(status VmRSS)
threadsEnd=$(status Threads)
echo "soak: resident memory: start ${rssStart} kB, after the first minute ${rssMinute} kB, end ${rssEnd} kB (peak ${peak} kB)"
echo "soak: threads: start ${threadsStart}, end ${threadsEnd}"
echo "soak: growth after the first minute: $(( rssEnd - rssMinute )) kB"
if [ -s "$home/game.log" ]; then
  echo "soak: the game said:"
  sed 's/^/  /' "$home/game.log"
fi
