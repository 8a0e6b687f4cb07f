#!/usr/bin/env bash
# Installs what the project needs, then builds and runs every test twice: an optimised build
# with warnings as errors, and a build under AddressSanitizer and UndefinedBehaviorSanitizer;
# then the tests of the worker threads under ThreadSanitizer; then the browser build and its tests
# (tests/web). Last, each libFuzzer target runs for
# TAVLOMI_FUZZ_SECONDS (default 30) under both sanitizers; a crash, a leak or a slow input fails
# the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/install-deps.sh"

run_suite() {
  local dir=$1; shift
  echo "== $dir: configure and build"
  cmake -S "$root" -B "$dir" -DTAVLOMI_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" 2>&1 | grep -E 'error|warning|Error' || true
  cmake --build "$dir" -j"$jobs" >/dev/null
  echo "== $dir: tests"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run_suite "$root/build-ci" -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLOMI_SANITIZE=ON -DTAVLOMI_BENCH=OFF

# The worker pool and every grid loop split over it, on 1 to 8 threads, under ThreadSanitizer: only
# the core's tests that start threads.
run_tsan() {
  local dir=$root/build-tsan
  echo "== $dir: configure, build and the threaded tests"
  cmake -S "$root" -B "$dir" -DTAVLOMI_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVLOMI_SANITIZE_THREADS=ON -DTAVLOMI_BENCH=OFF >/dev/null
  cmake --build "$dir" -j"$jobs" --target tavlomi_tests 2>&1 | grep -E 'error|warning|Error' || true
  cmake --build "$dir" -j"$jobs" --target tavlomi_tests >/dev/null
  TSAN_OPTIONS=halt_on_error=1 "$dir/tests/tavlomi_tests" --gtest_brief=1 \
    --gtest_filter='WorkerPool.*:*ThreadCount*'
}
run_tsan

# The browser build: the page and the Node replay (build-web/), the replay compared screen for
# screen with the desktop's, and the page in headless Chromium. scripts/web.sh installs their
# packages; playwright-core comes from npm as tests/web/package-lock.json pins it.
run_web() {
  echo "== $root/build-web: build and tests"
  "$root/scripts/web.sh" --no-serve
  # The tests' npm packages go into the build folder, beside what they test, not into the tree.
  local deps=$root/build-web/test-deps
  mkdir -p "$deps"
  cp "$root/tests/web/package.json" "$root/tests/web/package-lock.json" "$deps/"
  (cd "$deps" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  NODE_PATH=$deps/node_modules TAVLOMI_NATIVE_REPLAY="$root/build-ci/tavlomi-replay" \
    TAVLOMI_WEB_BUILD="$root/build-web" node --test "$root"/tests/web/*.test.js
}
run_web

run_fuzzers() {
  local dir=$root/build-fuzz seconds=${TAVLOMI_FUZZ_SECONDS:-30} failed=0
  echo "== $dir: configure and build"
  # Clang's warnings are shown but not fatal here; the other builds hold the tree to GCC's.
  CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DTAVLOMI_FUZZ=ON -DTAVLOMI_TESTS=OFF \
    -DTAVLOMI_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$dir" -j"$jobs" --target fuzzers 2>&1 | grep -E 'error|warning|Error' || true
  cmake --build "$dir" -j"$jobs" --target fuzzers >/dev/null
  mkdir -p "$dir/artifacts"
  for target in event_script frame_conversion frame_loop; do
    local corpus=$dir/corpus/$target log=$dir/fuzz_$target.log
    local options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
      -artifact_prefix="$dir/artifacts/$target-")
    local inputs=("$corpus")
    mkdir -p "$corpus"
    [ -d "$root/fuzz/seeds/$target" ] && inputs+=("$root/fuzz/seeds/$target")
    case $target in
      event_script) options+=(-dict="$root/fuzz/event_script.dict") ;;
      frame_loop) options+=(-max_len=512 -len_control=0) ;;
    esac
    echo "== fuzz_$target: $seconds s"
    if "$dir/fuzz/fuzz_$target" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
      grep -E '^#[0-9]+[[:space:]]+DONE|^Done [0-9]+ runs' "$log"
    else
      tail -n 40 "$log"
      echo "fuzz_$target FAILED: the input is in $dir/artifacts, the log in $log"
      failed=1
    fi
  done
  return "$failed"
}
run_fuzzers
