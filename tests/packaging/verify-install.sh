#!/usr/bin/env bash
# cmake --install into a fresh prefix: both programs, the example settings, the systemd unit
# and its template where systemd looks for the prefix's units, accepted by systemd-analyze
# without a word, naming the installed program, and hardened to an exposure of at most 2.5.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
staged=$(mktemp -d)
checks=$(mktemp -d)
trap 'rm -rf "$prefix" "$staged" "$checks"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/svg-logger bin/svg-logger-headless share/svg-logger/headless.ini share/svg-logger/metrics-web.yml \
         share/svg-logger/prometheus/svg-logger.rules.yml share/svg-logger/grafana/svg-logger.json \
         lib/systemd/system/svg-logger-headless.service lib/systemd/system/svg-logger-headless@.service; do
  [ -e "$prefix/$f" ] || { echo "missing: $f"; find "$prefix" -name '*.service'; exit 1; }
done
unit=$prefix/lib/systemd/system/svg-logger-headless.service
grep -qx "ExecStart=$prefix/bin/svg-logger-headless --config /etc/svg-logger/headless.ini" "$unit" \
  || { echo "ExecStart does not name the installed program:"; grep ExecStart "$unit"; exit 1; }
# The template's instance names its settings.
instance=$checks/svg-logger-headless@site2.service
sed 's/%i/site2/g' "$prefix/lib/systemd/system/svg-logger-headless@.service" > "$instance"
grep -qx "ExecStart=$prefix/bin/svg-logger-headless --config /etc/svg-logger/site2.ini" "$instance" \
  || { echo "the template does not read its instance's settings:"; grep ExecStart "$instance"; exit 1; }
# The units' Documentation= names the installed man page, which systemd-analyze looks up.
export MANPATH="$prefix/share/man:"
for u in "$unit" "$instance"; do
  out=$(systemd-analyze verify "$u" 2>&1) || { echo "$out"; exit 1; }
  [ -z "$out" ] || { echo "$out"; exit 1; }
  exposure=$(systemd-analyze security --offline=true "$u" 2>&1 | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\).*/\1/p')
  [ -n "$exposure" ] || { systemd-analyze security --offline=true "$u"; exit 1; }
  awk -v e="$exposure" 'BEGIN { exit !(e <= 2.5) }' || { echo "exposure $exposure above 2.5: $u"; exit 1; }
  echo "$(basename "$u"): exposure $exposure"
done
# Installed to /usr, the units go to systemd's own folder, never the multiarch library folder.
DESTDIR=$staged cmake --install "$build" --prefix /usr >/dev/null
systemd_dir=$(pkg-config --variable=systemdsystemunitdir systemd 2>/dev/null || echo /usr/lib/systemd/system)
[ -e "$staged$systemd_dir/svg-logger-headless.service" ] \
  || { echo "with /usr the unit is not in $systemd_dir:"; find "$staged" -name '*.service'; exit 1; }
! find "$staged" -path '*-linux-gnu*' -name '*.service' | grep -q . || { echo "a unit in a multiarch folder"; exit 1; }
# The example settings are accepted by the program as they stand.
"$prefix/bin/svg-logger-headless" --config "$prefix/share/svg-logger/headless.ini" --list-ports >/dev/null
echo "installed and verified: $unit"
