#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the toy needs.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsdl1.2-compat-dev
  libsdl-gfx1.2-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-dev
  xvfb xauth xdotool x11-utils
  # snapshots; MP4 recording (x264enc, with libav's decoders for the tests and its MPEG-4
  # encoder when x264enc is missing)
  libpng-dev gstreamer1.0-plugins-ugly gstreamer1.0-libav
  # checks of the installed desktop entry, man page and icon
  desktop-file-utils groff-base libxml2-utils
  # a window manager for the full-screen window tests (started with the core font "fixed"),
  # screenshots, and xprop to see that it manages the screen
  evilwm xfonts-base imagemagick
  # the virtual camera's PipeWire route and PipeWire cameras; a daemon, its session manager and
  # a private session bus for their tests
  gstreamer1.0-pipewire pipewire wireplumber pipewire-bin dbus-bin dbus-daemon
  # the street footage of bench/compare-peer (its examples/data/vtest.avi)
  opencv-doc
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
