#!/usr/bin/env bash
# Other Debian versions of this source build as a maintainer makes them, in a copy: the next
# upstream version's first revision by `dch -v` (into build-deb-upgrade/, with a line added to
# the shipped headless.ini: the newer build that deb-systemd.sh upgrades to) and a binNMU by
# `dch --bin-nmu` (into build-deb-binnmu/); each program says the upstream version and the
# package's. Without debug symbol packages and lintian (scripts/build-packages.sh --quick).
# Usage: deb-versions.sh UPSTREAM-VERSION
set -euo pipefail
cd "$(dirname "$0")/../.."
upstream=$1
fail() { echo "FAILED: $*" >&2; exit 1; }
command -v dch >/dev/null || fail "dch is missing (scripts/deps.sh installs devscripts)"
export DEBFULLNAME="svg-logger package test" DEBEMAIL="maintainers@users.noreply.c-seed-4bb89cd9.example"
IFS=. read -r major minor patch <<<"$upstream"
next="$major.$minor.$((patch + 1))-1"

check() { # FOLDER VERSION: the package is there and its program says both versions
  local deb line unpacked
  deb=$(ls "$1/svg-logger-headless_$2_"*.deb) || fail "no svg-logger-headless $2 in $1"
  unpacked=$(mktemp -d)
  dpkg-deb -x "$deb" "$unpacked"
  line=$("$unpacked/usr/bin/svg-logger-headless" --version)
  rm -rf "$unpacked"
  echo "$(basename "$deb"): $line"
  [[ "$line" == "svg-logger-headless $upstream (Debian $2"[,\)]* ]] || fail "--version says '$line'"
}

echo "-- dch -v $next, the shipped settings changed"
./scripts/build-packages.sh --out build-deb-upgrade --quick --in-copy \
  "dch -v $next 'Built by the package test: a newer version to upgrade to.' && \
   sed -i '1a ; A line the package test added: the shipped settings changed.' packaging/headless.ini" | grep -v '\.deb$' || true
check build-deb-upgrade "$next"

echo "-- dch --bin-nmu"
./scripts/build-packages.sh --out build-deb-binnmu --quick --in-copy \
  "dch --bin-nmu 'Built by the package test: a binNMU.'" | grep -v '\.deb$' || true
version=$(cd build-deb-binnmu && dpkg-deb -f "$(ls svg-logger-headless_*.deb)" Version)
[[ $version == *+b1 ]] || fail "the binNMU is $version"
check build-deb-binnmu "$version"
