# Sourced: a Debian root of debian-root.sh booted by systemd-nspawn with systemd as its PID 1,
# so that the maintainer scripts meet a running systemd as on a box.
#   boot_root NAME [systemd-nspawn options]   unpacks a fresh root and boots it
#   in_root COMMAND...                         runs COMMAND inside, as root
#   halt_root                                  powers it off and removes it
# Downloads are kept across runs in $SVG_ROOT_CACHE/apt-archives.

root_dir= root_pid= root_init= root_log=

say() { echo "-- $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# An upgrade's two folders of .deb files and the source tree, as root, the new headless package
# a higher version than the old: sets old_debs new_debs source old new.
#   upgrade_pair OLD-DEBS NEW-DEBS SOURCE-DIR
upgrade_pair() {
  # shellcheck disable=SC2034 # for the caller
  old_debs=$(cd "$1" && pwd) new_debs=$(cd "$2" && pwd) source=$(cd "$3" && pwd)
  [ "$(id -u)" -eq 0 ] || fail "run as root (systemd-nspawn)"
  old=$(version_of "$old_debs") new=$(version_of "$new_debs")
  dpkg --compare-versions "$new" gt "$old" || fail "$new is no upgrade of $old"
}
version_of() { dpkg-deb -f "$(ls "$1"/svg-logger-headless_*.deb)" Version; }

boot_root() {
  local name=$1
  shift
  for tool in systemd-nspawn nsenter; do
    command -v "$tool" >/dev/null || { echo "FAILED: $tool is missing (scripts/deps.sh installs systemd-container)" >&2; return 1; }
  done
  local tarball cache=${SVG_ROOT_CACHE:-/var/cache/svg-logger-tests}
  tarball=$("$(dirname "${BASH_SOURCE[0]}")/debian-root.sh")
  mkdir -p "$cache/apt-archives/partial"
  root_dir=$(mktemp -d /var/tmp/svg-root.XXXXXX)
  root_log=$root_dir.log
  tar -C "$root_dir" -xzf "$tarball"
  chmod 0755 "$root_dir" # its /, which the services of other users go through
  echo "$name" >"$root_dir/etc/hostname"
  systemd-nspawn --quiet -D "$root_dir" -M "$name" --boot --register=no --keep-unit \
    --bind="$cache/apt-archives:/var/cache/apt/archives" "$@" >"$root_log" 2>&1 </dev/null &
  root_pid=$!
  local _
  for _ in $(seq 300); do
    root_init=$(pgrep -P "$root_pid" -x systemd || true)
    [ -n "$root_init" ] && break
    kill -0 "$root_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$root_init" ] || { tail -20 "$root_log" >&2; echo "FAILED: systemd-nspawn did not boot the root" >&2; return 1; }
  local state
  for _ in $(seq 300); do # until systemd listens on its socket
    state=$(in_root timeout 10 systemctl is-system-running --wait 2>&1 || true)
    [[ $state == *"connect to bus"* ]] || break
    sleep 0.1
  done
  case "$state" in
    running | degraded) ;;
    *) tail -20 "$root_log" >&2; echo "FAILED: the root's systemd is '$state'" >&2; return 1 ;;
  esac
  [ "$state" = running ] || in_root systemctl --failed --no-legend --no-pager >&2
}

in_root() {
  nsenter -t "$root_init" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb \
    DEBIAN_FRONTEND=noninteractive "$@"
}

halt_root() {
  [ -n "$root_pid" ] || return 0
  in_root systemctl poweroff >/dev/null 2>&1 || true
  local _
  for _ in $(seq 300); do
    kill -0 "$root_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$root_pid" 2>/dev/null || true
  wait "$root_pid" 2>/dev/null || true
  rm -rf "$root_dir" "$root_log"
  root_pid=
}
