#!/usr/bin/env bash
# What the packages ship beside the programs, checked as Debian's tools check it: every
# program's --version is the project's, and so is the upstream part of debian/changelog's
# version (as dpkg reads it); each man page reads without a warning; the desktop entries and
# the AppStream metainfo validate, with a web address; the viewer is no handler of folders;
# the PNG icons are drawn at their sizes.
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
# Offered for CSV files; opening a folder stays in its menu and on its command line.
! grep -q '^MimeType=.*inode/directory' "$source"/packaging/desktop/*.desktop \
  || { echo "a desktop entry makes itself the handler of every folder (inode/directory)"; status=1; }
grep -q '<url type="homepage">https://' "$source"/packaging/desktop/*.metainfo.xml || { echo "no homepage <url> in the metainfo"; status=1; }
for size in 16 22 24 32 48 64 128 256; do
  png=$build/packaging/icons/${size}x${size}/apps/svg-logger.png
  # The width and height in the PNG's header, big-endian at bytes 16 and 20.
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" 2>/dev/null \
    | awk '{print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8}') || true
  [ "${width:-0}x${height:-0}" = "${size}x${size}" ] || { echo "$png: ${width:-no}x${height:-no}, not ${size}x${size}"; status=1; }
done
appstreamcli validate --no-net --pedantic "$source"/packaging/desktop/*.metainfo.xml || status=1
exit $status
