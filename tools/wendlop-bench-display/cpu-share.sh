#!/usr/bin/env bash
# cpu-share.sh [--play] WENDLOP [SECONDS] [-- GAME ARGS...]
# Starts a virtual X server, runs the game in a real window on it and prints
# the game's processor share (user + system seconds per wall second, from
# /proc) over SECONDS (default 20) after a 3-second settling time. With no
# input the game stays on the title screen; --play keeps starting the
# demonstration from there (needs xdotool), so that stages are played.
set -euo pipefail
play=0
if [ "${1:-}" = "--play" ]; then play=1; shift; fi
game=$1; shift
seconds=${1:-20}; [ $# -gt 0 ] && shift
[ "${1:-}" = "--" ] && shift

display=""
for n in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "cpu-share: no free X display number" >&2; exit 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
game_pid=""
clicker=""
cleanup() {
  [ -n "$clicker" ] && kill "$clicker" 2>/dev/null || true
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

DISPLAY=$display "$game" "$@" >/dev/null 2>&1 &
game_pid=$!
sleep 3
kill -0 "$game_pid" 2>/dev/null || { echo "cpu-share: the game ended early" >&2; exit 1; }
if [ "$play" = 1 ]; then
  # DEMO is text cells 27..32 of row 23 on the title (16-pixel cells). The
  # button is held for a few frames: the game samples it once per frame. A
  # demonstration ignores the pointer, so clicking there every second starts
  # a new one whenever the last has gone back to the title.
  window=$(DISPLAY=$display xdotool search --name '^Wendlop' | head -1)
  (while :; do
    DISPLAY=$display xdotool mousemove --window "$window" 480 376 mousedown 1 sleep 0.2 mouseup 1
    sleep 1
  done) >/dev/null 2>&1 &
  clicker=$!
  sleep 2
fi

ticks() {  # utime + stime of the game, in clock ticks
  local stat; stat=$(cat "/proc/$game_pid/stat")
  stat=${stat##*) }  # fields after the command name, which may hold spaces
  read -r -a f <<<"$stat"
  echo $(( f[11] + f[12] ))  # fields 14 and 15 of the whole line
}
hz=$(getconf CLK_TCK)
t0=$(date +%s.%N); c0=$(ticks)
sleep "$seconds"
t1=$(date +%s.%N); c1=$(ticks)
awk -v c="$((c1 - c0))" -v hz="$hz" -v t0="$t0" -v t1="$t1" \
  'BEGIN { w = t1 - t0; printf "cpu share: %.4f of a core (%.2f s processor time in %.2f s)\n", c / hz / w, c / hz, w }'
