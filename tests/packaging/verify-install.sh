#!/usr/bin/env bash
# cmake --install into a fresh prefix: both programs, the example settings and a systemd unit
# that systemd-analyze accepts without a word, naming the installed program.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/svg-logger bin/svg-logger-headless share/svg-logger/headless.ini; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
unit=$(find "$prefix" -name svg-logger-headless.service)
[ -n "$unit" ] || { echo "missing: the systemd unit"; exit 1; }
grep -qx "ExecStart=$prefix/bin/svg-logger-headless --config /etc/svg-logger/headless.ini" "$unit" \
  || { echo "ExecStart does not name the installed program:"; grep ExecStart "$unit"; exit 1; }
out=$(systemd-analyze verify "$unit" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
# The example settings are accepted by the program as they stand.
"$prefix/bin/svg-logger-headless" --config "$prefix/share/svg-logger/headless.ini" --list-ports >/dev/null
echo "installed and verified: $unit"
