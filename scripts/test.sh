#!/usr/bin/env bash
# Installs what the project needs, then builds and runs every test twice: an optimised build
# with warnings as errors, and a build under AddressSanitizer and UndefinedBehaviorSanitizer.
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
