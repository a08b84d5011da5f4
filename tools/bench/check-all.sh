#!/usr/bin/env bash
# check-all.sh GAME [MAP_DIR] [SECONDS] [STAGES...]
# Runs `GAME --check` on every stage of MAP_DIR (default data/map of this
# tree) and prints a Markdown table: the stage, the verdict, its rank, the
# narrowest window, and the wall-clock seconds of the check. Run it with nice:
# the last stage takes minutes.
set -u
game=$1
maps=${2:-$(dirname "$0")/../../data/map}
seconds=${3:-900}
shift $(($# < 3 ? $# : 3))
stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then
  for map in "$maps"/map[0-9][0-9].fmf; do
    n=$(basename "$map" .fmf)
    stages+=($((10#${n#map})))
  done
fi

echo "| Stage | Verdict | Rank | Narrowest window | Seconds |"
echo "|---|---|---|---|---|"
total=0
for stage in "${stages[@]}"; do
  map=$(printf "%s/map%02d.fmf" "$maps" "$stage")
  start=$(date +%s.%N)
  out=$("$game" --check "$map" --seconds "$seconds" 2>&1)
  end=$(date +%s.%N)
  took=$(echo "$end - $start" | bc)
  total=$(echo "$total + $took" | bc)
  verdict=$(head -1 <<<"$out")
  rank=$(sed -n 's/^harder than \(.*\) built-in stages.*/\1/p' <<<"$out")
  window=$(sed -n 's/^narrowest window \([0-9]* frames ([0-9.]* s)\).*/\1/p' <<<"$out")
  stop=$(sed -n 's/^stopped: //p' <<<"$out")
  printf "| %d | %s%s | %s | %s | %.1f |\n" "$stage" "$verdict" "${stop:+ ($stop)}" "$rank" "$window" "$took"
done
printf "\nAll %d stages: %.0f s\n" "${#stages[@]}" "$total"
