#!/usr/bin/env bash
# Frames per second of the simulator on a busy stage (ten hazards, lifts,
# animated tiles), without and with drawing every frame into the canvas.
#   tools/bench/timedemo.sh [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build/release}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp -r "$here/../../data/bmp" "$tmp/"
mkdir -p "$tmp/map"
"$build/tools/wendlop-stagec/wendlop-stagec" compile "$here/busy-stage.txt" "$tmp/map/map01.fmf"
sim="$build/tools/wendlop-sim/wendlop-sim"
start=$(date +%s.%N)
line=$("$sim" --data "$tmp" --stage 1 --max-frames 3700)
end=$(date +%s.%N)
frames=$(echo "$line" | sed -n 's/.*frames=\([0-9]*\).*/\1/p')
echo "without drawing: $frames frames in $(echo "$end - $start" | bc) s, $(echo "$frames / ($end - $start)" | bc) frames per second ($line)"
echo "with drawing:    $("$sim" --data "$tmp" --stage 1 --max-frames 3700 --timedemo | tail -1)"
