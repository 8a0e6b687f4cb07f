#!/usr/bin/env bash
# Installs what the browser build needs, builds the toy for the browser into build-web/ and serves
# the page on localhost (a camera needs a secure origin, and localhost is one).
#   scripts/web.sh [--no-serve] [--port N]
# --no-serve only builds. The page is build-web/index.html; any static file server will do.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
serve=1
port=8080
while [ $# -gt 0 ]; do
  case $1 in
    --no-serve) serve=0 ;;
    --port)
      [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] && [ "$2" -ge 1 ] && [ "$2" -le 65535 ] \
        || { echo "web.sh: --port takes a port number from 1 to 65535" >&2; exit 2; }
      port=$2
      shift ;;
    *) echo "web.sh: unknown argument '$1'; usage: scripts/web.sh [--no-serve] [--port N]" >&2
       exit 2 ;;
  esac
  shift
done

packages=(
  # emscripten brings its own clang and runs its tools under Node; python3 serves the page and
  # makes the overlay's glyph table
  emscripten nodejs python3 cmake make
  # the overlay's 8 x 8 glyphs: the console's VGA font
  console-setup-linux
  # the browser tests: Debian's Chromium, driven through playwright-core from npm
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
# Some builds of nodejs carry npm themselves; Debian's own needs the npm package for the tests.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null \
      || { echo "web.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo_cmd=(sudo)
  fi
  echo "web.sh: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's emscripten runs its JavaScript tools with modules (acorn) from Debian's own folder,
# which not every nodejs searches.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
build=$root/build-web
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTAVLOMI_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" 2>&1 | grep -E 'error|warning|Error' || true
cmake --build "$build" -j"$(nproc)" >/dev/null
[ "$serve" -eq 1 ] || exit 0

echo "Tavlomi: http://localhost:$port/ (Ctrl-C stops the server)"
exec python3 -m http.server --bind 127.0.0.1 --directory "$build" "$port"
