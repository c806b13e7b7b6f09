#!/usr/bin/env bash
# The three Debian packages as a user meets them: installed with apt (dependencies resolved),
# every program's version, the units verified by systemd, the service's user and the settings'
# mode, the simulator and the service program run from the installed paths as that user and
# writing a log; then purged: no file of ours is left but the recorded logs.
# Usage: deb-install.sh FOLDER-WITH-THE-DEBS UPSTREAM-VERSION   (as root, or with sudo)
set -euo pipefail
debs=$(cd "$1" && pwd)
upstream=$2
version=$(dpkg-deb -f "$(ls "$debs"/svg-logger-headless_*.deb)" Version) # the package's: 1.0.0-1
run=()
if [ "$(id -u)" -ne 0 ]; then run=(sudo); fi
say() { echo "-- $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

export DEBIAN_FRONTEND=noninteractive
say "apt-get install the three packages"
"${run[@]}" apt-get install -y -q --no-install-recommends \
  "$debs/svg-logger-headless_${version}_"*.deb "$debs/svg-logger_${version}_"*.deb \
  "$debs/svg-logger-tools_${version}_"*.deb </dev/null 2>&1 | grep -E '^(Setting up|Unpacking) svg-logger' || true
for p in svg-logger-headless svg-logger svg-logger-tools; do
  dpkg-query -W -f='${Status} ${Version}\n' "$p" | grep -qx "install ok installed $version" || fail "$p is not installed"
done
ours=$(mktemp)
trap 'rm -f "$ours"' EXIT
dpkg -L svg-logger-headless svg-logger svg-logger-tools | sort -u >"$ours"

say "--version of each program: the upstream version and the package's"
for program in svg-logger svg-logger-headless svg-logger-view svg-controller-sim svg-make-day; do
  line=$(QT_QPA_PLATFORM=offscreen "/usr/bin/$program" --version)
  echo "$line"
  [[ "$line" == "$program $upstream (Debian $version"[,\)]* ]] || fail "$program --version says '$line'"
done

say "systemd-analyze verify of the installed units"
instance_dir=$(mktemp -d)
sed 's/%i/site2/g' /lib/systemd/system/svg-logger-headless@.service >"$instance_dir/svg-logger-headless@site2.service"
for unit in /lib/systemd/system/svg-logger-headless.service "$instance_dir/svg-logger-headless@site2.service"; do
  out=$(systemd-analyze verify "$unit" 2>&1) || fail "$out"
  [ -z "$out" ] || fail "$out"
  echo "verified: $unit"
done
rm -rf "$instance_dir"
! systemctl is-enabled svg-logger-headless.service >/dev/null 2>&1 \
  || [ "$(systemctl is-enabled svg-logger-headless.service 2>/dev/null)" = disabled ] \
  || fail "the service was enabled by the install"

say "the service's user, its settings, its log folder"
getent passwd svg-logger || fail "no user svg-logger"
getent group svg-logger >/dev/null || fail "no group svg-logger"
mode=$(stat -c '%a %U %G' /etc/svg-logger/headless.ini)
echo "/etc/svg-logger/headless.ini: $mode"
[ "$mode" = "640 root svg-logger" ] || fail "the settings are $mode, not 640 root svg-logger"
# The site's settings are ucf's, never a conffile whose prompt would stop an unattended upgrade.
! dpkg-query -W -f='${Conffiles}\n' svg-logger-headless | grep -q ' /etc/svg-logger/headless.ini ' \
  || fail "headless.ini is a dpkg conffile"
"${run[@]}" ucfq -w svg-logger-headless | grep -q '^/etc/svg-logger/headless.ini:svg-logger-headless:' \
  || fail "ucf does not keep headless.ini: $("${run[@]}" ucfq -w svg-logger-headless)"
[ -d /etc/svg-logger/headless.d ] || fail "no drop-in folder /etc/svg-logger/headless.d"
folder=$(stat -c '%a %U %G' /var/lib/svg-logger)
echo "/var/lib/svg-logger: $folder"
[ "$folder" = "750 svg-logger svg-logger" ] || fail "the log folder is $folder"

say "the simulator and the service program, installed, as the service's user, with the installed settings"
runtime=$(mktemp -d)
chmod 0755 "$runtime"
"${run[@]}" chown svg-logger: "$runtime"
as_logger=("${run[@]}" runuser -u svg-logger --)
[ "$(id -u)" -eq 0 ] && as_logger=(runuser -u svg-logger --)
"${as_logger[@]}" env XDG_RUNTIME_DIR="$runtime" /usr/bin/svg-controller-sim --name pkg-sim &
sim=$!
for _ in $(seq 50); do [ -e "$runtime/svg-logger/ports/pkg-sim" ] && break; sleep 0.1; done
before=$("${run[@]}" ls /var/lib/svg-logger | wc -l)
"${as_logger[@]}" env XDG_RUNTIME_DIR="$runtime" /usr/bin/svg-logger-headless --config /etc/svg-logger/headless.ini \
  --port pkg-sim --duration 4 || fail "svg-logger-headless exited with $?"
"${run[@]}" pkill -INT -f '^/usr/bin/svg-controller-sim --name pkg-sim' || true # the simulator itself, not runuser
wait "$sim" 2>/dev/null || true
"${run[@]}" rm -rf "$runtime"
log=$("${run[@]}" sh -c 'ls -t /var/lib/svg-logger/Tarmin*.csv' | head -1)
rows=$(($("${run[@]}" cat "$log" | wc -l) - 1))
echo "$log: $rows rows"
[ "$("${run[@]}" ls /var/lib/svg-logger | wc -l)" -gt "$before" ] && [ "$rows" -ge 10 ] || fail "no log was written"

say "apt-get purge"
"${run[@]}" apt-get purge -y -q svg-logger-headless svg-logger svg-logger-tools </dev/null 2>&1 | grep -E '^(Removing|Purging) |is kept' || true
left=()
while read -r path; do
  case "$path" in
    /var/lib/svg-logger | /var/lib/svg-logger/*) continue ;; # the recorded logs stay
  esac
  # A folder another package shares (/usr/bin, /usr/share/man/man1) stays; ours go.
  if [ -d "$path" ]; then
    case "$path" in /etc/svg-logger | /usr/share/svg-logger* | /usr/share/doc/svg-logger*) ;; *) continue ;; esac
  fi
  if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
done <"$ours"
[ ${#left[@]} -eq 0 ] || fail "left behind by purge: ${left[*]}"
[ ! -e /etc/svg-logger ] || fail "/etc/svg-logger is left behind"
echo "$(wc -l <"$ours") paths of the packages checked: none left"
"${run[@]}" test -f "$log" || fail "the recorded log $log was removed"
echo "kept: $log"
