#!/usr/bin/env bash
# Installs what is missing and builds the logger. The main window and the controller
# simulator are not built yet; this script starts them once they are.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
echo "Built the engine; the main window comes next, and ./run.sh will start it on the simulator."
