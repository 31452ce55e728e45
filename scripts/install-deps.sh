#!/usr/bin/env bash
# Installs, with apt, only the Debian 12 packages this project needs and the
# machine lacks. Safe to run again: with everything present it does nothing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libxcb1-dev libxcb-shm0-dev libxcb-randr0-dev libxcb-xinput-dev libpulse-dev
  libswresample-dev  # the editing jobs' conversion of other PCM sound formats
  libgtest-dev libgmock-dev libbenchmark-dev
  # running the window without a desktop, and looking at it
  xvfb xauth x11-utils x11-xserver-utils xdotool fonts-liberation xdg-utils
  # independent oracles and peers used by the tests and benchmarks
  ffmpeg mplayer pulseaudio pulseaudio-utils sox
  weston xwayland  # a real XWayland server for the screen grab's Wayland check
  # rendering the icon set from its vector sources
  librsvg2-bin icoutils
  # manual pages, the installation's checks and the Debian package
  python3 man-db file desktop-file-utils appstream dpkg-dev lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root with:" >&2
  echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
