#!/usr/bin/env bash
# Installs what is missing; runs the engine's tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, libFuzzer over the engine, the engine's tests built for Windows
# under Wine, the headless program under ThreadSanitizer, then builds everything and runs the
# whole suite with ctest; last the Debian packages: built, checked by lintian, installed with
# apt, run and purged, checked by piuparts, built as other Debian versions, and upgraded on a
# booted Debian root with the service running.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

echo "== Engine tests with AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSVG_ENGINE_ONLY=ON -DSVG_SANITIZE=ON \
  -DSVG_WERROR=ON >/dev/null
cmake --build build-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# The engine under libFuzzer for a bounded time, where clang and its fuzzer runtime are there.
if command -v clang++ >/dev/null 2>&1 && echo 'extern "C" int LLVMFuzzerTestOneInput(const char*,unsigned long){return 0;}' \
     | clang++ -x c++ -fsanitize=fuzzer - -o /tmp/svg-fuzz-probe.$$ >/dev/null 2>&1; then
  rm -f /tmp/svg-fuzz-probe.$$
  # The fuzzing time is shared: two thirds for the logging engine, a third for the reader.
  fuzz_seconds=${SVG_FUZZ_SECONDS:-60}
  engine_seconds=$((fuzz_seconds * 2 / 3))
  reading_seconds=$((fuzz_seconds - engine_seconds))
  echo "== libFuzzer over the engine ($engine_seconds s) and the reader of recorded files ($reading_seconds s) =="
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSVG_ENGINE_ONLY=ON -DSVG_FUZZ=ON -DSVG_WERROR=ON >/dev/null
  cmake --build build-fuzz --target svg-engine-fuzzer svg-reading-fuzzer svg-fuzz-seeds
  corpus=build-fuzz/corpus
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/* tests/fuzz/regressions/* "$corpus"/ 2>/dev/null || true
  build-fuzz/tests/svg-fuzz-seeds "$corpus"
  # A crash or a broken invariant stops the run: its input is written to build-fuzz/ for
  # tests/fuzz/regressions, where FuzzRegression replays it with the allocation stacks that
  # this run leaves out for speed.
  status=0
  ASAN_OPTIONS=malloc_context_size=0 \
  build-fuzz/tests/svg-engine-fuzzer "$corpus" -max_total_time="$engine_seconds" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ >build-fuzz/fuzz.log 2>&1 || status=$?
  if [ "$status" -eq 0 ]; then
    reading_corpus=build-fuzz/reading-corpus
    mkdir -p "$reading_corpus"
    cp tests/fuzz/reading-corpus/* "$reading_corpus"/
    ASAN_OPTIONS=malloc_context_size=0 \
    build-fuzz/tests/svg-reading-fuzzer "$reading_corpus" -max_total_time="$reading_seconds" -max_len=8192 \
      -print_final_stats=1 -artifact_prefix=build-fuzz/reading- >>build-fuzz/fuzz.log 2>&1 || status=$?
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|broken invariant|SUMMARY)' \
    build-fuzz/fuzz.log || true
  if [ "$status" -ne 0 ]; then
    tail -40 build-fuzz/fuzz.log
    exit "$status"
  fi
else
  echo "== libFuzzer: no clang with its fuzzer runtime here; skipped =="
fi

# The engine is standard C++: cross-built for Windows with MinGW-w64 (GoogleTest from Debian's
# source, built with the same compiler) and run on Windows' own C runtime under Wine.
echo "== Engine tests for Windows (MinGW-w64), run under Wine =="
cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSVG_ENGINE_ONLY=ON -DSVG_BENCH=OFF -DSVG_GTEST_SOURCE=/usr/src/googletest \
  -DSVG_WERROR=ON >/dev/null
cmake --build build-windows --target svg_engine_tests
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
WINEPREFIX="$PWD/build-windows/wine-prefix" WINEDEBUG=-all "$wine" build-windows/tests/svg_engine_tests.exe \
  --gtest_brief=1 2> >(grep -v '^wine: ' >&2)

# The headless program's threads (the serial port's, MQTT's, the metrics server's) under
# ThreadSanitizer while Prometheus-like scrapes come at 50 Hz for a minute; a race makes the
# program exit non-zero with its report in the journal, which the test shows.
echo "== svg-logger-headless under ThreadSanitizer, scraped at 50 Hz =="
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSVG_TSAN=ON -DSVG_WERROR=ON >/dev/null
cmake --build build-tsan --target svg-logger-headless svg-controller-sim svg_system_tests
TSAN_OPTIONS=second_deadlock_stack=1 build-tsan/tests/svg_system_tests --gtest_brief=1 \
  --gtest_filter='MetricsEndpoint.FiftyScrapesASecondForAMinuteLoseNothing'

echo "== Whole suite =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSVG_WERROR=ON >/dev/null
cmake --build build
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian packages: built, lintian, installed, run, purged; piuparts; other versions; upgraded under systemd =="
version=$(sed -n 's/^project(svg-logger VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
./scripts/build-packages.sh
tests/packaging/deb-install.sh build-deb "$version"
tests/packaging/piuparts.sh build-deb
tests/packaging/deb-versions.sh "$version"
tests/packaging/deb-systemd.sh build-deb build-deb-upgrade .
