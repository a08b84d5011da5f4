#!/usr/bin/env bash
# Measures the game's CPU share (user + system seconds per wall second) in a
# real window under a virtual X server: on the title, then in play.
#   tools/bench/cpu-share.sh [BUILD_DIR] [SECONDS]
# Needs Xvfb and xdotool (apt-get install xvfb xdotool).
set -eu
build=${1:-build/release}
seconds=${2:-20}
game=$build/src/wendlop
[ -x "$game" ] || { echo "build the game first: $game" >&2; exit 1; }
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "needs xvfb and xdotool" >&2; exit 1; }

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $game_pid $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display SDL_AUDIODRIVER=dummy "$game" 2>/dev/null &
game_pid=$!
sleep 2

ticks() { awk '{print $14 + $15}' /proc/$game_pid/stat; }
measure() {
  local a b
  a=$(ticks); sleep "$seconds"; b=$(ticks)
  echo "scale=4; ($b - $a) / $(getconf CLK_TCK) / $seconds" | bc
}
echo "title:   $(measure) of a core at 60 frames per second"
# START on the title: text cell (12..18, 23) of 16-pixel cells.
window=$(DISPLAY=$display xdotool search --sync --name "Wendlop" | head -1)
DISPLAY=$display xdotool mousemove --window "$window" 232 376 click 1
sleep 1
DISPLAY=$display xdotool click 1
sleep 1
echo "playing: $(measure) of a core at 60 frames per second"
