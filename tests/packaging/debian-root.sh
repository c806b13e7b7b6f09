#!/usr/bin/env bash
# A clean Debian 12 root as a tarball, made once with debootstrap and kept in the cache folder
# (SVG_ROOT_CACHE, default /var/cache/svg-logger-tests); prints its path. debootstrap's minbase
# with systemd and D-Bus, as every box that runs the service has them: piuparts' base, and a
# root that systemd-nspawn boots (booted-root.sh). Remove the tarball to make it anew (a new
# point release); apt-get update runs in every use.
set -euo pipefail
cache=${SVG_ROOT_CACHE:-/var/cache/svg-logger-tests}
mirror=${SVG_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
tarball=$cache/$suite-systemd.tgz
if [ ! -s "$tarball" ]; then
  for tool in debootstrap; do
    command -v "$tool" >/dev/null || { echo "FAILED: $tool is missing (scripts/deps.sh installs it)" >&2; exit 1; }
  done
  mkdir -p "$cache"
  root=$(mktemp -d "$cache/root.XXXXXX")
  chmod 0755 "$root" # the root's / as the services of other users need it
  trap 'rm -rf "$root"' EXIT
  echo "-- debootstrap $suite into the cache, once" >&2
  debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus "$suite" "$root" "$mirror" \
    >"$cache/debootstrap.log" 2>&1 || { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
  # Debian 12 as a box has it: with its updates and security updates.
  printf 'deb %s %s main\ndeb %s %s-updates main\ndeb http://deb.debian.org/debian-security %s-security main\n' \
    "$mirror" "$suite" "$mirror" "$suite" "$suite" >"$root/etc/apt/sources.list"
  rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/*_Packages
  tar -C "$root" -czf "$tarball.new" .
  mv "$tarball.new" "$tarball"
fi
echo "$tarball"
