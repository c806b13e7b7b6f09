#!/usr/bin/env bash
# Builds the three Debian packages (dpkg-buildpackage -b) from a copy of this checkout, with
# its git history so that --version names the revision, into build-deb/; then runs lintian.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-deb
rm -rf "$out"
mkdir -p "$out/src"
# The project's files as they stand in the working tree (not what git ignores), and .git for
# the revision.
git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null \
  | tar -xf - -C "$out/src"
cp -a .git "$out/src/"
(cd "$out/src" && DEB_BUILD_OPTIONS="parallel=$(nproc 2>/dev/null || echo 2)" dpkg-buildpackage -b -us -uc >../build.log 2>&1) \
  || { tail -40 "$out/build.log"; exit 1; }
rm -rf "$out/src"
ls "$out"/*.deb
lintian --info --display-info --pedantic "$out"/*.changes >"$out/lintian.log" 2>&1 || true
cat "$out/lintian.log"
if grep -q '^E: ' "$out/lintian.log"; then
  echo "lintian found errors" >&2
  exit 1
fi
