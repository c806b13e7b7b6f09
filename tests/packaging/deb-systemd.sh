#!/usr/bin/env bash
# The service's package on a box where systemd runs (a clean Debian 12 root booted by
# systemd-nspawn): installed, neither enabled nor started; the simulator and the service for
# 20 s by autopkgtest itself (debian/tests/control: debian/tests/service-rows); then, with the service enabled and
# an instance svg-logger-headless@site2 running on simulators and a site's edit in
# headless.ini, a non-interactive apt-get upgrade to the newer build: it must not ask about the
# settings and keep the site's, and the service and the instance must log on under the new
# program, the gap in the rows said; a disabled service stays stopped through an upgrade;
# remove stops the service and its instances; purge removes the settings and says that the
# logs are kept.
# Usage: deb-systemd.sh OLD-DEBS NEW-DEBS SOURCE-DIR   (as root; OLD and NEW hold the .deb files)
set -euo pipefail
# shellcheck source=booted-root.sh
source "$(dirname "$0")/booted-root.sh"
upgrade_pair "$@"

trap halt_root EXIT
say "a clean Debian 12 root booted with systemd"
boot_root "svg-pkg-$$" --bind-ro="$old_debs:/debs/old" --bind-ro="$new_debs:/debs/new" \
  --bind-ro="$source/debian:/debs/source/debian"
check=/debs/source/debian/tests/service-rows
in_root apt-get update -qq >/dev/null

# The paths inside the root of PACKAGE's .deb files: in_root_debs old|new VERSION PACKAGE...
in_root_debs() {
  local tag=$1 version=$2 folder=$old_debs package file
  shift 2
  [ "$tag" = old ] || folder=$new_debs
  for package in "$@"; do
    file=$(ls "$folder/${package}_${version}_"*.deb) || fail "no $package $version in $folder"
    echo "/debs/$tag/$(basename "$file")"
  done
}
apt_install() { # shows what apt did with our packages, fails on any prompt (stdin is empty)
  local out status=0
  out=$(in_root apt-get install -y -q --no-install-recommends "$@" </dev/null 2>&1) || status=$?
  grep -E '^(Unpacking|Setting up) svg-logger|\.service|Configuration file|E: ' <<<"$out" || true
  [ "$status" -eq 0 ] || fail "apt-get install ended with $status"
}
state() { echo "$(in_root systemctl is-enabled "$1" 2>/dev/null || true) $(in_root systemctl is-active "$1" 2>/dev/null || true)"; }
pid_of() { in_root systemctl show -p MainPID --value "$1"; }

say "apt-get install svg-logger-headless and svg-logger-tools $old"
# shellcheck disable=SC2046 # a path a word
apt_install $(in_root_debs old "$old" svg-logger-headless svg-logger-tools)
[ "$(state svg-logger-headless)" = "disabled inactive" ] || fail "after the install the service is $(state svg-logger-headless)"
echo "svg-logger-headless: $(state svg-logger-headless)"

say "autopkgtest, Debian's own runner of debian/tests, on the packages (its null testbed: this root)"
in_root apt-get install -y -q --no-install-recommends autopkgtest </dev/null >/dev/null 2>&1 || fail "autopkgtest cannot be installed"
# shellcheck disable=SC2046
out=$(in_root autopkgtest --output-dir /tmp/autopkgtest /debs/source \
  $(in_root_debs old "$old" svg-logger-headless svg-logger-tools) -- null 2>&1) || { echo "$out" | tail -40; fail "autopkgtest failed"; }
sed -n '/test service-rows: \[/,/test service-rows: -*\]/p' <<<"$out" | sed '1d;$d'
grep -A1 ' summary$' <<<"$out" | tail -1

say "the service enabled and the instance site2 started, each on a simulator; a site's edit in headless.ini"
in_root install -m 0640 -g svg-logger /etc/svg-logger/headless.ini /etc/svg-logger/site2.ini
for unit in svg-logger-headless svg-logger-headless@site2; do
  port=$(in_root "$check" simulator "$([ "$unit" = svg-logger-headless ] && echo main || echo site2)")
  in_root "$check" point "$unit" "$port"
done
in_root sed -i '1i ; edited on this box: the site keeps its own lines' /etc/svg-logger/headless.ini
enabled_at=$(in_root date +%s)
in_root systemctl enable --now svg-logger-headless 2>&1 | grep -v '^Created symlink' || true
in_root systemctl start svg-logger-headless@site2 \
  || fail "svg-logger-headless@site2 did not start: $(in_root journalctl -u svg-logger-headless@site2 -n 8 --no-pager -o cat)"
sleep 6
main_pid=$(pid_of svg-logger-headless) site2_pid=$(pid_of svg-logger-headless@site2)
[ "$main_pid" -gt 0 ] && [ "$site2_pid" -gt 0 ] || fail "the service or the instance did not start"
echo "svg-logger-headless: $(state svg-logger-headless), pid $main_pid; svg-logger-headless@site2: pid $site2_pid"

say "apt-get install -y $new (non-interactive, stdin empty; the shipped headless.ini changed)"
started=$(date +%s%N)
# shellcheck disable=SC2046
apt_install $(in_root_debs new "$new" svg-logger-headless svg-logger-tools)
echo "the upgrade took $((($(date +%s%N) - started) / 1000000)) ms"
in_root grep -q '^; edited on this box' /etc/svg-logger/headless.ini || fail "the site's headless.ini was replaced"
in_root test -f /etc/svg-logger/headless.ini.ucf-dist || fail "the new shipped settings are not beside the site's"
echo "kept: the site's /etc/svg-logger/headless.ini; the new one beside it: headless.ini.ucf-dist"
sleep 6

say "after the upgrade: the same units, restarted on the new program"
for unit in svg-logger-headless svg-logger-headless@site2; do
  pid=$(pid_of "$unit")
  before=$main_pid
  [ "$unit" = svg-logger-headless ] || before=$site2_pid
  [ "$(in_root systemctl is-active "$unit")" = active ] && [ "$pid" -gt 0 ] \
    || fail "$unit is $(state "$unit") after the upgrade: $(in_root journalctl -u "$unit" -n 8 --no-pager -o cat)"
  [ "$pid" != "$before" ] || fail "$unit was not restarted (pid $pid)"
  exe=$(in_root readlink "/proc/$pid/exe")
  [[ $exe != *deleted* ]] || fail "$unit runs the removed old program: $exe"
  echo "$unit: $(state "$unit"), pid $before -> $pid ($exe)"
done
# The rows: the file the old program closed when it was stopped and the one the new program
# opened, from the unit's journal (an hourly change in between would close and open one more).
journal=$(in_root journalctl -u svg-logger-headless --since "@$enabled_at" -o short-unix --no-pager \
  | awk '$3 ~ /^svg-logger-headless\[/ { time = $1; sub(/^[^ ]+ [^ ]+ [^ ]+ /, ""); print time, $0 }')
read -r stopped closed < <(awk '$2 == "start:" { starts++ } starts == 2 { exit }
  $2 == "stop:" { stop = $1 } $2 == "file" && $3 == "closed:" { file = $4 } END { sub(/,$/, "", file); print stop, file }' <<<"$journal")
read -r started opened < <(awk '$2 == "start:" { starts++; if (starts == 2) time = $1 }
  starts == 2 && $2 == "file" && $3 == "opened:" { print time, $4; exit }' <<<"$journal")
[ -n "$closed" ] && [ -n "$opened" ] && [ -n "$stopped" ] || { echo "$journal" | tail -20; fail "no file closed before and opened after the upgrade"; }
before=$(in_root "$check" rows 20 "$closed") after=$(in_root "$check" rows 20 "$opened")
echo "before the upgrade ($old): $before"
echo "after the upgrade ($new):  $after"
# The stamps are whole seconds: the rows missing are those the simulator's five a second would
# have given from the old program's last second to the new one's first, less those there.
last=$(sed -E 's/.* to (.*)$/\1/' <<<"$before") first=$(sed -E 's/.*rows, (.*) to .*/\1/' <<<"$after")
in_last=$(in_root grep -c "^$last," "$closed") in_first=$(in_root grep -c "^$first," "$opened")
span=$(( $(date -d "$first" +%s) - $(date -d "$last" +%s) + 1 ))
missing=$(( span * 5 - in_last - in_first ))
(( missing < 0 )) && missing=0
echo "the gap: the old program's last rows at $last ($in_last), the new one's first at $first ($in_first):" \
  "about $missing rows missing at five a second, $(awk -v m="$missing" 'BEGIN { printf "%.1f", m / 5 }') s;" \
  "stopped at $(date -d "@$stopped" +%T.%2N), started again at $(date -d "@$started" +%T.%2N)"
(( span <= 15 )) || fail "the service was $span s without rows across the upgrade"

say "a disabled, stopped service through an upgrade (apt-get install --reinstall $new)"
in_root systemctl disable --now svg-logger-headless 2>&1 | grep -v '^Removed' || true
apt_install --reinstall "$(in_root_debs new "$new" svg-logger-headless)"
[ "$(state svg-logger-headless)" = "disabled inactive" ] || fail "the disabled service is $(state svg-logger-headless) after the upgrade"
echo "svg-logger-headless: $(state svg-logger-headless); svg-logger-headless@site2: $(state svg-logger-headless@site2)"

say "apt-get remove: the service and its instances stop"
in_root systemctl start svg-logger-headless
out=$(in_root apt-get remove -y -q svg-logger-headless </dev/null 2>&1) || { echo "$out"; fail "remove failed"; }
for unit in svg-logger-headless svg-logger-headless@site2; do
  [ "$(in_root systemctl is-active "$unit" || true)" != active ] || fail "$unit still runs after remove"
  echo "$unit: $(in_root systemctl is-active "$unit" || true)"
done
left=$(in_root sh -c 'for p in /proc/[0-9]*; do readlink "$p/exe"; done' 2>/dev/null | grep svg-logger-headless || true)
[ -z "$left" ] || fail "a svg-logger-headless process is left: $left"

say "apt-get purge: the settings go, the logs stay and purge says so"
# What the test added as a site would: the drop-ins and the instance's settings, taken away.
for unit in svg-logger-headless svg-logger-headless@site2; do
  in_root "$check" unpoint "$unit"
done
in_root rm -rf /etc/svg-logger/site2.ini /etc/svg-logger/site2.d
out=$(in_root apt-get purge -y -q svg-logger-headless </dev/null 2>&1) || { echo "$out"; fail "purge failed"; }
grep -E 'kept|Purging' <<<"$out" || true
grep -q '/var/lib/svg-logger is kept' <<<"$out" || fail "purge did not say that the logs are kept"
! in_root test -e /etc/svg-logger || fail "left by purge: $(in_root find /etc/svg-logger)"
[ -z "$(in_root ucfq -w svg-logger-headless 2>/dev/null)" ] || fail "ucf still knows the settings"
echo "the settings are gone; $(in_root find /var/lib/svg-logger -name '*.csv' | wc -l) log files kept"
