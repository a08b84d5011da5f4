#!/usr/bin/env bash
# solver-report.sh SOLVE_TOOL REPO_DIR [SECONDS] [MAX_PRESSES] [STEP] [STAGES...]
# Measures every stage in REPO_DIR/data/map (or the stages named) with
# wendlop-solve --measure and its committed solution, and prints two Markdown
# tables: the fewest presses, the search effort and the distinct minimal
# solutions against the committed solution; then the window of each press of
# that solution and the hazards that stand choosing for more than two seconds.
# Each stage's full output is kept in $SOLVER_OUT (default: a temporary folder).
set -u
tool=$1
repo=$2
seconds=${3:-600}
most=${4:-7}
step=${5:-4}
shift $(($# < 5 ? $# : 5))
out=${SOLVER_OUT:-$(mktemp -d)}
mkdir -p "$out"

stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then
  for map in "$repo"/data/map/map[0-9][0-9].fmf; do
    n=$(basename "$map" .fmf)
    stages+=($((10#${n#map})))
  done
fi

field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$2"; }

for stage in "${stages[@]}"; do
  n=$(printf %02d "$stage")
  args=(--data "$repo/data" --stage "$stage" --measure --seconds "$seconds" --max-presses "$most" --step "$step")
  [ -f "$repo/assets/solutions/$n.txt" ] && args+=(--solution "$repo/assets/solutions/$n.txt")
  "$tool" "${args[@]}" > "$out/$n.out" 2>&1
done

echo "| Stage | Title | Solution presses | Fewest | Effort | Distinct minimal solutions | Narrowest window | Note |"
echo "|---|---|---|---|---|---|---|---|"
for stage in "${stages[@]}"; do
  n=$(printf %02d "$stage")
  title=$(sed -n 's/^title[[:space:]]*//p' "$repo/assets/stages/map$n.txt" 2>/dev/null | sed 's/[[:space:]]*;.*//' | head -1)
  intended=""
  [ -f "$repo/assets/solutions/$n.txt" ] && intended=$(grep -cE '^[[:space:]]*(press|walker)[[:space:]]' "$repo/assets/solutions/$n.txt")
  line=$(head -1 "$out/$n.out")
  result=$(field result "$line"); presses=$(field presses "$line")
  upto=$(field none-up-to "$line"); effort=$(field effort "$line")
  solutions=$(field solutions "$line")
  narrowest=$(sed -n 's/^window .* width=\([0-9]*\).*/\1/p' "$out/$n.out" | sort -n | head -1)
  note=""
  case $result in
    solved)
      fewest=$presses
      if [ -n "$intended" ]; then
        if [ "$fewest" -lt "$intended" ]; then
          note="**$((intended - fewest)) fewer than the solution**"
        elif [ "$fewest" -gt "$intended" ]; then
          note="the solution needs timing finer than the search step"
        fi
      fi
      ;;
    none) fewest="none within $most"; effort="$effort"; solutions="" ;;
    timeout) fewest="not within $seconds s (none with $upto or fewer)"; effort="> $effort"; solutions="" ;;
    *) fewest="$result"; effort=""; solutions="" ;;
  esac
  grep -q '^solution .*clears=no' "$out/$n.out" && note="${note:+$note; }**the solution does not clear**"
  grep -q '^stall ' "$out/$n.out" && note="${note:+$note; }a hazard stands still, see below"
  echo "| $stage | $title | $intended | $fewest | $effort | $solutions | $narrowest | $note |"
done

echo
echo "| Stage | Windows of the solution's presses (frames earlier / later that still clear) | Hazards choosing for more than two seconds |"
echo "|---|---|---|"
for stage in "${stages[@]}"; do
  n=$(printf %02d "$stage")
  windows=$(sed -n 's/^window press=\([0-9]*\) frame=\([0-9]*\) earlier=\([0-9+]*\) later=\([0-9+]*\) width=.*/\2: -\3 \/ +\4/p' "$out/$n.out" |
    paste -sd ';' - | sed 's/;/; /g')
  stalls=$(sed -n 's/^stall hazard=\([0-9]*\) row=\([0-9]*\) col=\([0-9]*\) from=\([0-9]*\) frames=\([0-9]*\)\(.*\)/hazard \1 at (\2, \3) from frame \4 for \5 frames\6/p' "$out/$n.out" |
    sed 's/ to-end/ (to the end)/' | paste -sd ';' - | sed 's/;/; /g')
  echo "| $stage | $windows | $stalls |"
done
