#!/usr/bin/env bash
# Debian's piuparts on the three packages in a clean Debian 12 chroot (debootstrap's minbase
# with systemd, made once by debian-root.sh): installed with their dependencies, removed and purged, and
# nothing of theirs left, nor anything changed that is not theirs. The verdict and, on a fault,
# piuparts' reason; its whole log in FOLDER/piuparts.log.
# Usage: piuparts.sh FOLDER-WITH-THE-DEBS   (as root: piuparts chroots and mounts)
set -euo pipefail
debs=$(cd "$1" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "piuparts needs root (chroot, mount)"
command -v piuparts >/dev/null || fail "piuparts is missing (scripts/deps.sh installs it)"
tarball=$("$(dirname "$0")/debian-root.sh")
mapfile -t packages < <(ls "$debs"/svg-logger-headless_*.deb "$debs"/svg-logger_*.deb "$debs"/svg-logger-tools_*.deb)
[ ${#packages[@]} -eq 3 ] || fail "not the three packages in $debs: ${packages[*]}"
log=$debs/piuparts.log
rm -f "$log"
echo "-- piuparts: $(for p in "${packages[@]}"; do basename "$p"; done | tr '\n' ' ')"
status=0
piuparts --basetgz="$tarball" --distribution=bookworm --mirror="${SVG_DEBIAN_MIRROR:-http://deb.debian.org/debian}" \
  --tmpdir=/var/tmp --log-file="$log" --log-level=info "${packages[@]}" >/dev/null 2>&1 || status=$?
grep -E ' (PASS|FAIL|ERROR): ' "$log" || true
if [ "$status" -ne 0 ]; then
  # The reason stands above the verdict: files left, files changed, a script that failed.
  grep -B40 -E ' (FAIL|ERROR): ' "$log" | grep -vE '^\s*$' | tail -40
  fail "piuparts ended with $status (log: $log)"
fi
