#!/usr/bin/env bash
# An existing site's upgrade from the released packages, whose /etc/svg-logger/headless.ini was
# a dpkg conffile, to the current ones, where ucf keeps it: in a clean Debian 12 root booted by
# systemd-nspawn, each of an edited headless.ini (the service enabled and logging on a simulator)
# and an unedited one, through apt-get install -y with stdin empty, DEBIAN_FRONTEND unset and
# noninteractive. No question may be asked; an edited file is kept and in force, an unedited
# one replaced by the new shipped file; dpkg no longer lists the file as its conffile and ucf
# knows it; the running service goes on logging on the new program; purge leaves nothing.
# With DEBIAN_FRONTEND unset and no terminal, debconf's Teletype frontend prints ucf's question
# about an edited file and takes the end of stdin as its default (keep): no wait, no failure.
# Not in test.sh (about 85 s, and the released packages to build); by hand, as root:
#   git worktree add --detach ../old100 040c4ca && ../old100/scripts/build-packages.sh
#   scripts/build-packages.sh --quick
#   tests/packaging/deb-from-release.sh ../old100/build-deb build-deb .
# Usage: deb-from-release.sh RELEASED-DEBS NEW-DEBS SOURCE-DIR   (as root)
set -euo pipefail
# shellcheck source=booted-root.sh
source "$(dirname "$0")/booted-root.sh"
upgrade_pair "$@"
dpkg-deb --ctrl-tarfile "$(ls "$old_debs"/svg-logger-headless_*.deb)" | tar -xOf - ./conffiles 2>/dev/null \
  | grep -qx /etc/svg-logger/headless.ini || fail "$old does not ship headless.ini as a conffile"

trap halt_root EXIT
say "a clean Debian 12 root booted with systemd"
boot_root "svg-rel-$$" --bind-ro="$old_debs:/debs/old" --bind-ro="$new_debs:/debs/new" \
  --bind-ro="$source/debian:/debs/source/debian"
check=/debs/source/debian/tests/service-rows
settings=/etc/svg-logger/headless.ini
in_root apt-get update -qq >/dev/null

debs() { # debs old|new: the paths inside the root of the service's and the tools' packages
  local folder=$old_debs
  [ "$1" = old ] || folder=$new_debs
  for package in svg-logger-headless svg-logger-tools; do
    echo "/debs/$1/$(basename "$(ls "$folder/${package}_"*.deb)")"
  done
}
# apt-get install -y, stdin empty; FRONTEND "unset" leaves DEBIAN_FRONTEND out of the environment.
apt_install() {
  local frontend=$1 out status=0
  shift
  local run=(env DEBIAN_FRONTEND="$frontend")
  [ "$frontend" != unset ] || run=(env -u DEBIAN_FRONTEND)
  out=$(in_root timeout 300 "${run[@]}" apt-get install -y -q --no-install-recommends "$@" </dev/null 2>&1) || status=$?
  grep -E '^(Unpacking|Setting up) svg-logger|Configuration file|config file|[Cc]onffile|locally modified|E: ' <<<"$out" || true
  [ "$status" -eq 0 ] || { tail -30 <<<"$out"; fail "apt-get install ended with $status"; }
  ! grep -qE "Configuration file .* ==>|What would you like to do|\*\*\* .* \(Y/I/N/O/D/Z\)" <<<"$out" \
    || fail "apt-get asked a question"
}
pid_of() { in_root systemctl show -p MainPID --value svg-logger-headless; }
dpkg_lists_settings() { in_root dpkg-query -W -f='${Conffiles}\n' svg-logger-headless | grep -F " $settings " || true; }

for frontend in unset noninteractive; do
  for site in edited unedited; do
    say "$site headless.ini, DEBIAN_FRONTEND $frontend: apt-get install $old"
    # shellcheck disable=SC2046 # a path a word
    apt_install noninteractive $(debs old)
    echo "dpkg's conffile: $(dpkg_lists_settings)"
    logs=/var/lib/svg-logger
    if [ "$site" = edited ]; then
      # The site names its port and a folder of its own in the file itself, as the released
      # package had no other place, and starts the service.
      port=$(in_root "$check" simulator main)
      logs=/var/lib/svg-logger/site-$frontend
      in_root install -d -o svg-logger -g svg-logger "$logs"
      in_root sed -i -e "s|^port = .*|port = $port|" -e "s|^folder = .*|folder = $logs|" \
        -e '1i ; edited on this box' "$settings"
      # A pseudo-terminal is no serial device of the unit's DevicePolicy: allowed here alone.
      in_root mkdir -p /run/systemd/system/svg-logger-headless.service.d
      in_root sh -c 'printf "[Service]\nDeviceAllow=char-pts rw\n" >/run/systemd/system/svg-logger-headless.service.d/90-pts.conf'
      in_root systemctl daemon-reload
      in_root systemctl enable --now svg-logger-headless 2>&1 | grep -v '^Created symlink' || true
      sleep 5
      before_pid=$(pid_of)
      [ "$before_pid" -gt 0 ] || fail "the service did not start: $(in_root journalctl -u svg-logger-headless -n 8 --no-pager -o cat)"
    fi
    edited_sum=$(in_root md5sum "$settings" | cut -d' ' -f1)

    say "apt-get install -y $new (DEBIAN_FRONTEND $frontend, stdin empty)"
    started=$(date +%s%N)
    # shellcheck disable=SC2046
    apt_install "$frontend" $(debs new)
    echo "the upgrade took $((($(date +%s%N) - started) / 1000000)) ms"
    echo "in /etc/svg-logger: $(in_root ls -A /etc/svg-logger | tr '\n' ' '); headless.ini $(in_root stat -c '%a %U:%G' "$settings")"
    listed=$(dpkg_lists_settings)
    echo "dpkg's conffile: ${listed:-none}"
    [ -z "$listed" ] || fail "dpkg still lists $settings as a conffile: $listed"
    echo "ucfq: $(in_root ucfq -w svg-logger-headless)"
    in_root ucfq -w svg-logger-headless | grep -q "^$settings:svg-logger-headless:" || fail "ucf does not know $settings"
    in_root test ! -e "$settings.dpkg-remove" -a ! -e "$settings.dpkg-backup" || fail "a file of the move is left"
    now_sum=$(in_root md5sum "$settings" | cut -d' ' -f1)
    shipped_sum=$(in_root md5sum /usr/share/svg-logger/headless.ini | cut -d' ' -f1)
    if [ "$site" = edited ]; then
      [ "$now_sum" = "$edited_sum" ] || fail "the site's headless.ini was changed: $(in_root head -3 "$settings")"
      echo "kept: the site's headless.ini ($now_sum)"
      sleep 5
      pid=$(pid_of)
      exe=$(in_root readlink "/proc/$pid/exe")
      [ "$pid" -gt 0 ] && [ "$pid" != "$before_pid" ] && [[ $exe != *deleted* ]] \
        || fail "the service was not restarted on the new program: pid $before_pid -> $pid ($exe)"
      echo "svg-logger-headless: $(in_root systemctl is-active svg-logger-headless), pid $before_pid -> $pid ($exe), $(in_root svg-logger-headless --version | head -1)"
      # The rows in the site's folder: the file the old program wrote and the new one's.
      mapfile -t files < <(in_root find "$logs" -name '*.csv' | sort)
      [ "${#files[@]}" -ge 2 ] || fail "not two files in the site's folder $logs: ${files[*]}"
      in_root "$check" rows 30 "${files[@]}"
      in_root systemctl disable --now svg-logger-headless 2>&1 | grep -v '^Removed' || true
      in_root rm -rf /run/systemd/system/svg-logger-headless.service.d
      in_root systemctl stop svg-sim-main
    else
      [ "$now_sum" = "$shipped_sum" ] || fail "the unedited headless.ini was not replaced by the new shipped one"
      echo "replaced: headless.ini is the new shipped file ($now_sum)"
    fi

    say "apt-get purge svg-logger-headless svg-logger-tools"
    out=$(in_root apt-get purge -y -q svg-logger-headless svg-logger-tools </dev/null 2>&1) || { echo "$out"; fail "purge failed"; }
    ! in_root test -e /etc/svg-logger || fail "left by purge: $(in_root find /etc/svg-logger)"
    [ -z "$(in_root ucfq -w svg-logger-headless 2>/dev/null)" ] || fail "ucf still knows the settings"
    ! in_root grep -qs "$settings" /var/lib/ucf/hashfile /var/lib/ucf/registry || fail "ucf's files still name $settings"
    echo "purged: no /etc/svg-logger, nothing in ucf's registry"
    in_root rm -rf /var/lib/svg-logger
  done
done
echo "upgrades from $old checked"
