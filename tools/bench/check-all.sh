#!/usr/bin/env bash
# check-all.sh GAME [MAP_DIR] [SECONDS] [STAGES...]
# Runs `GAME --check` on every stage of MAP_DIR (default data/map of this
# tree) and prints a Markdown table: the stage, the verdict, its rank, the
# narrowest window, and the seconds of the check, on the wall clock and of
# processor time (which a busy machine changes less). Run it with nice: the
# last stage takes minutes.
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

echo "| Stage | Verdict | Rank | Narrowest window | Seconds | Processor seconds |"
echo "|---|---|---|---|---|---|"
total=0
cpu=0
times=$(mktemp)
for stage in "${stages[@]}"; do
  map=$(printf "%s/map%02d.fmf" "$maps" "$stage")
  start=$(date +%s.%N)
  out=$(/usr/bin/time -o "$times" -f "%U %S" "$game" --check "$map" --seconds "$seconds" 2>&1)
  end=$(date +%s.%N)
  took=$(echo "$end - $start" | bc)
  used=$(awk '{ print $1 + $2 }' "$times")
  total=$(echo "$total + $took" | bc)
  cpu=$(echo "$cpu + $used" | bc)
  verdict=$(head -1 <<<"$out")
  rank=$(sed -n 's/^harder than \(.*\) built-in stages.*/\1/p' <<<"$out")
  window=$(sed -n 's/^narrowest window \([0-9]* frames ([0-9.]* s)\).*/\1/p' <<<"$out")
  stop=$(sed -n 's/^stopped: //p' <<<"$out")
  printf "| %d | %s%s | %s | %s | %.1f | %.1f |\n" "$stage" "$verdict" "${stop:+ ($stop)}" "$rank" "$window" "$took" "$used"
done
rm -f "$times"
printf "\nAll %d stages: %.0f s on the wall clock, %.0f s of processor time\n" "${#stages[@]}" "$total" "$cpu"
