#!/usr/bin/env bash
# What the packages ship beside the programs, checked as Debian's tools check it: every
# program's --version is the project's, and so is the upstream part of debian/changelog's
# version (as dpkg reads it); each man page reads without a warning; the desktop entries and
# the AppStream metainfo validate.
# Usage: check-metadata.sh BUILD-DIR SOURCE-DIR VERSION
set -euo pipefail
build=$1 source=$2 version=$3
status=0
for program in app/svg-logger app/svg-logger-headless app/svg-logger-view tools/svg-controller-sim tools/svg-make-day; do
  name=$(basename "$program")
  line=$(QT_QPA_PLATFORM=offscreen "$build/$program" --version)
  [[ "$line" == "$name $version" || "$line" == "$name $version (git "*")" ]] \
    || { echo "$name --version: '$line', not $version"; status=1; }
done
for page in "$build"/packaging/man/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
  grep -q '^\.SH OPTIONS' "$page" || grep -q -- '--help' "$page" || { echo "$page: no options"; status=1; }
done
[ "$(ls "$build"/packaging/man/*.1 | wc -l)" -eq 5 ] || { echo "not five man pages"; status=1; }
upstream=$(cd "$source" && printf 'include /usr/share/dpkg/pkg-info.mk\nall:\n\t@echo $(DEB_VERSION_UPSTREAM)\n' | make -s -f -)
[ "$upstream" = "$version" ] \
  || { echo "debian/changelog's version is of upstream version '$upstream', the project's is $version"; status=1; }
desktop-file-validate "$source"/packaging/desktop/*.desktop || status=1
appstreamcli validate --no-net --pedantic "$source"/packaging/desktop/*.metainfo.xml || status=1
exit $status
