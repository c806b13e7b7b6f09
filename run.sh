#!/usr/bin/env bash
# Installs what is missing, builds, starts the controller simulator (version 2, an event
# every 60 s) on a virtual port and the logger on it; the simulator ends with the logger.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the logger on: run ./run.sh on a desktop (or under xvfb-run)." >&2
  exit 1
fi

# The virtual port lives in the user's runtime folder; make one where the session has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR="/tmp/svg-logger-runtime-$(id -u)"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_RUNTIME_DIR
fi

build/tools/svg-controller-sim --controller-version 2 --event-every 60 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -e "$XDG_RUNTIME_DIR/svg-logger/ports/svg-sim" ] && break
  sleep 0.1
done

build/app/svg-logger
