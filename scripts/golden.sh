#!/usr/bin/env bash
# Writes every output a player or a tool can see, from the binaries of one
# build folder, so that two builds can be compared file by file:
#
#   scripts/golden.sh BUILD_DIR OUT_DIR [DATA_DIR]
#   diff -r OUT_BEFORE OUT_AFTER
#
# Stage traces of every stage with its replay (DRAG on and off) and without
# input, whole-game session traces with their canvases when the simulator
# has sessions, the songs' MIDI dumps, the README pictures and saved frames.
# A change that must not alter the game leaves all of it byte-identical.
set -euo pipefail
build=$(realpath "$1")
out=$(realpath -m "$2")
data=$(realpath "${3:-$(dirname "$0")/../data}")
here=$(realpath "$(dirname "$0")/..")
sim=$build/tools/wendlop-sim/wendlop-sim
midi=$build/tools/wendlop-midi/wendlop-midi
shots=$build/tools/wendlop-shots/wendlop-shots
mkdir -p "$out"/trace "$out"/midi "$out"/shots "$out"/frames

for n in $(seq 1 50); do
  nn=$(printf %02d "$n")
  for drag in on off; do
    "$sim" --data "$data" --stage "$n" --replay "$data/replay/$nn.dat" --drag "$drag" \
      --trace "$out/trace/$nn-$drag.jsonl" >"$out/trace/$nn-$drag.txt"
  done
  "$sim" --data "$data" --stage "$n" --max-frames 900 --trace "$out/trace/$nn-none.jsonl" >"$out/trace/$nn-none.txt"
done

for song in "$data"/midi/*.mid /usr/share/games/openttd/baseset/openmsx/{flying_scotsman,careless_perc_redfarn,train_filled_with_cash,chuggachugga,busy_schedule}.mid; do
  [ -f "$song" ] || continue
  "$midi" "$song" --dump --steps 20000 >"$out/midi/$(basename "$song").txt"
done

"$shots" --data "$data" --out "$out/shots" --play-stage 24 --play-frame 200 >/dev/null
for pair in 35:37 12:53; do
  n=${pair%%:*} every=${pair##*:}
  nn=$(printf %02d "$n")
  "$sim" --data "$data" --stage "$n" --replay "$data/replay/$nn.dat" \
    --screenshot-dir "$out/frames/$nn" --screenshot-every "$every" >/dev/null
done

# Whole games from start-up, where the simulator plays sessions.
if ("$sim" --help 2>&1 || true) | grep -q -- --session; then
  mkdir -p "$out/session"
  for script in "$here"/tests/session/scripts/*.txt; do
    [ -f "$script" ] || continue
    name=$(basename "$script" .txt)
    "$sim" --session "$script" --data "$data" --trace "$out/session/$name.jsonl" \
      --canvas-dir "$out/session/$name" --canvas-every 29 >"$out/session/$name.txt" 2>/dev/null || true
  done
fi
echo "golden outputs in $out: $(find "$out" -type f | wc -l) files"
