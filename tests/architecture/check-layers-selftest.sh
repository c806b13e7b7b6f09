#!/usr/bin/env bash
# The layer check finds what it is there to find: an include up a layer, Qt in the engine and a
# folder without a layer, each in a small tree of its own; a tree without them passes.
set -uo pipefail
check=$(dirname "$0")/check-layers.sh
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{common,reading,viewer}
echo '#include "common/A.h"' > "$tree/reading/B.h"
echo '#include "reading/B.h"' > "$tree/viewer/C.cpp"
"$check" "$tree" >/dev/null || { echo "a sound tree was refused"; exit 1; }
expect() { # what the check must say of the tree as it is now
  local out
  out=$("$check" "$tree")
  if [ $? -eq 0 ] || ! grep -qF "$1" <<<"$out"; then
    echo "not found: $1"; echo "$out"; exit 1
  fi
}
echo '#include "viewer/C.h"' >> "$tree/reading/B.h"
expect 'up or sideways: reading/B.h:2:#include "viewer/C.h"'
sed -i '2d' "$tree/reading/B.h"
echo '#include <QString>' >> "$tree/reading/B.h"
expect 'Qt in the engine: reading/B.h:2:#include <QString>'
sed -i '2d' "$tree/reading/B.h"
mkdir "$tree/gadgets" && touch "$tree/gadgets/D.cpp"
expect 'no layer for the folder gadgets/'
echo "the check finds each kind of fault"
