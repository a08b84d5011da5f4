#!/usr/bin/env bash
# check-regen.sh DATA_DIR TOOL [ARGS...]
# Runs TOOL [ARGS...] --out TMP and compares every file it wrote with DATA_DIR.
set -u
data=$1; shift
tool=$1; shift
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if ! "$tool" "$@" --out "$tmp"; then
  echo "regen: $tool failed" >&2
  exit 1
fi
count=0; bad=0
while IFS= read -r -d '' f; do
  rel=${f#"$tmp"/}
  count=$((count + 1))
  if ! cmp -s "$f" "$data/$rel"; then
    echo "regen: $rel differs from what $(basename "$tool") makes now" >&2
    bad=$((bad + 1))
  fi
done < <(find "$tmp" -type f -print0)
if [ "$count" -eq 0 ]; then
  echo "regen: $(basename "$tool") wrote nothing" >&2
  exit 1
fi
echo "regen: $count files checked, $bad differ"
[ "$bad" -eq 0 ]
