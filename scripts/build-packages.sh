#!/usr/bin/env bash
# Builds the three Debian packages (dpkg-buildpackage -b) from a copy of this checkout, with
# its git history so that --version names the revision, into build-deb/; then runs lintian.
#   --out DIR          build into DIR instead of build-deb/
#   --in-copy COMMAND  run COMMAND (sh) in the copy first: another version ("dch -v 1.0.1-1 ...",
#                      "dch --bin-nmu ..."), a changed file
#   --quick            no debug symbol packages and no lintian (a variant checked otherwise)
# ccache, where it is installed, keeps a rebuild to the files that changed.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build-deb in_copy= quick=
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --in-copy) in_copy=$2; shift 2 ;;
    --quick) quick=1; shift ;;
    *) echo "build-packages.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
rm -rf "$out"
mkdir -p "$out/src"
# The project's files as they stand in the working tree (not what git ignores), and .git for
# the revision.
git ls-files -z --cached --others --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null \
  | tar -xf - -C "$out/src"
cp -a .git "$out/src/"
if [ -n "$in_copy" ]; then
  (cd "$out/src" && sh -ec "$in_copy") || { echo "build-packages.sh: '$in_copy' failed in the copy" >&2; exit 1; }
fi
options="parallel=$(nproc 2>/dev/null || echo 2)"
[ -z "$quick" ] || options="$options noddebs"
if command -v ccache >/dev/null; then
  # debhelper gives the build a HOME of its own: the cache is named. -ffile-prefix-map takes the
  # build folder out of the objects, so the folder need not be hashed.
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)} \
         CCACHE_BASEDIR=$PWD/$out/src CCACHE_NOHASHDIR=1
fi
(cd "$out/src" && DEB_BUILD_OPTIONS="$options" dpkg-buildpackage -b -us -uc >../build.log 2>&1) \
  || { tail -40 "$out/build.log"; exit 1; }
grep -A3 '^CMake Warning at CMakeLists' "$out/build.log" || true # the package's version against the source's
rm -rf "$out/src"
ls "$out"/*.deb
[ -z "$quick" ] || exit 0
lintian --info --display-info --pedantic "$out"/*.changes >"$out/lintian.log" 2>&1 || true
cat "$out/lintian.log"
if grep -q '^E: ' "$out/lintian.log"; then
  echo "lintian found errors" >&2
  exit 1
fi
