#!/usr/bin/env bash
# Time from starting the game to its first presented frame, with the default
# SoundFont, with the large FluidR3 one, and with none. The first frame is the
# first screenshot the game writes; the game runs on a virtual X server and
# SDL's dummy audio driver.
# Usage: tools/wendlop-bench-music/first-frame.sh BUILD/src/wendlop [RUNS]
set -euo pipefail
game=$(realpath "$1")
runs=${2:-5}
cd "$(dirname "$0")/../.."
export SDL_AUDIODRIVER=dummy WENDLOP_DATA=$PWD/data
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display

measure() {  # label, soundfont
  local times=()
  for ((i = 0; i < runs; i++)); do
    local shots; shots=$(mktemp -d)
    local start; start=$(date +%s%N)
    WENDLOP_SOUNDFONT=$2 "$game" --screenshot-dir "$shots" 2>/dev/null &
    local pid=$!
    while [ -z "$(ls -A "$shots")" ]; do sleep 0.001; done
    local end; end=$(date +%s%N)
    kill "$pid"; wait "$pid" 2>/dev/null || true
    rm -rf "$shots"
    times+=($(( (end - start) / 1000000 )))
  done
  printf '%-22s first frame after (ms): %s\n' "$1" "$(printf '%s ' "${times[@]}" | tr ' ' '\n' | sort -n | tr '\n' ' ')"
}
measure "TimGM6mb (default)" /usr/share/sounds/sf2/TimGM6mb.sf2
[ -f /usr/share/sounds/sf2/FluidR3_GM.sf2 ] && measure "FluidR3_GM" /usr/share/sounds/sf2/FluidR3_GM.sf2
measure "no SoundFont" /nonexistent.sf2
