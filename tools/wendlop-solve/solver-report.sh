#!/usr/bin/env bash
# solver-report.sh SOLVE_TOOL REPO_DIR [SECONDS] [MAX_PRESSES] [STEP]
# Runs wendlop-solve on every stage in REPO_DIR/data/map and prints a Markdown
# table: the presses of the committed solution against the fewest found.
# Each stage's full output is kept in $SOLVER_OUT (default: a temporary folder).
set -u
tool=$1
repo=$2
seconds=${3:-60}
most=${4:-8}
step=${5:-4}
out=${SOLVER_OUT:-$(mktemp -d)}
mkdir -p "$out"

echo "| Stage | Title | Solution presses | Fewest found | Solver's frames | Searched | Note |"
echo "|---|---|---|---|---|---|---|"
for map in "$repo"/data/map/map[0-9][0-9].fmf; do
  n=$(basename "$map" .fmf); n=${n#map}
  stage=$((10#$n))
  title=$(sed -n 's/^title[[:space:]]*//p' "$repo/assets/stages/map$n.txt" 2>/dev/null | sed 's/[[:space:]]*;.*//' | head -1)
  if [ -f "$repo/assets/solutions/$n.txt" ]; then
    intended=$(grep -cE '^[[:space:]]*(press|walker)[[:space:]]' "$repo/assets/solutions/$n.txt")
  else
    intended=""
  fi
  "$tool" --data "$repo/data" --stage "$stage" --seconds "$seconds" --max-presses "$most" --step "$step" \
    > "$out/$n.out" 2>&1
  line=$(head -1 "$out/$n.out")
  field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$line"; }
  result=$(field result); presses=$(field presses); frames=$(field playing)
  upto=$(field none-up-to); secs=$(field seconds)
  note=""
  case $result in
    solved)
      fewest=$presses
      if [ -n "$intended" ]; then
        if [ "$fewest" -eq 0 ]; then
          note="**cleared with no press at all**"
        elif [ "$fewest" -eq 1 ] && [ "$intended" -ge 2 ]; then
          note="**one press does it**"
        elif [ $((intended - fewest)) -ge 2 ]; then
          note="**$((intended - fewest)) fewer than intended**"
        elif [ "$fewest" -lt "$intended" ]; then
          note="one fewer than intended"
        elif [ "$fewest" -gt "$intended" ]; then
          note="needs timing finer than the search step"
        fi
      fi
      ;;
    none) fewest="none within $most presses"; frames="" ;;
    timeout) fewest="none within $upto presses / ${seconds} s"; frames="" ;;
    *) fewest="$result"; frames="" ;;
  esac
  echo "| $stage | $title | $intended | $fewest | $frames | ${secs} s | $note |"
done
