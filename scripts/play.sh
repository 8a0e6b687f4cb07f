#!/usr/bin/env bash
# Installs what the toy needs, builds it and runs it; arguments go to the toy, e.g.
#   scripts/play.sh window 640 480
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DTAVLOMI_TESTS=OFF -DTAVLOMI_BENCH=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target tavlomi >/dev/null
exec "$root/build/tavlomi" "$@"
