#!/usr/bin/env bash
# Every project include points down a layer: a folder includes only the folders listed for it
# below, and the engine's folders include no Qt. Prints each include that breaks a rule.
set -uo pipefail
root=${1:?usage: check-layers.sh SOURCE_DIR}

# What each folder may include besides itself, lowest layers first.
declare -A allowed=(
  [common]=""
  [link]="common"
  [recording]="common link"
  [graph]="common link"
  [pipeline]="common link recording graph"
  [reading]="common link recording"
  [quality]="common link recording reading"
  [platform]="common link recording graph pipeline"
  [ui]="common link recording graph pipeline platform"
  [viewer]="common link recording reading quality platform"
  [mqtt]="common link recording pipeline"
  [metrics]="common link recording pipeline"
  [headless]="common link recording pipeline platform mqtt metrics"
  [tools]="common link recording pipeline platform reading"
  [app]="common link recording graph pipeline platform ui reading quality viewer mqtt metrics headless"
)
engine="common link recording graph pipeline reading quality"

faults=0
for folder in "${!allowed[@]}"; do
  [ -d "$root/$folder" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$hit")
    [ "$target" = "$folder" ] && continue
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "up or sideways: ${hit#"$root"/} ($folder may include: ${allowed[$folder]:-nothing})"
      faults=$((faults + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$root/$folder" --include='*.h' --include='*.cpp')
done
# A folder that holds code but is not in the table has no place in the layers yet.
for dir in "$root"/*/; do
  folder=$(basename "$dir")
  if [ -z "${allowed[$folder]+set}" ] && [[ ! $folder =~ ^(tests|bench|build.*|debian|packaging|cmake|scripts)$ ]] \
     && find "$dir" -name '*.cpp' -print -quit | grep -q .; then
    echo "no layer for the folder $folder/: add it to tests/architecture/check-layers.sh"
    faults=$((faults + 1))
  fi
done
for folder in $engine; do
  [ -d "$root/$folder" ] || continue
  while IFS= read -r hit; do
    echo "Qt in the engine: ${hit#"$root"/}"
    faults=$((faults + 1))
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$root/$folder" --include='*.h' --include='*.cpp')
done
if [ "$faults" -gt 0 ]; then
  echo "$faults include(s) against the layers"
  exit 1
fi
echo "every include points down; the engine has no Qt"
