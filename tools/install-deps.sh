#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

PKGS=(
  # build
  build-essential cmake ninja-build ccache pkg-config libgtest-dev libgmock-dev
  # Qt 5
  qtbase5-dev libqt5x11extras5-dev libqt5opengl5-dev qttools5-dev-tools
  # OpenGL
  libglew-dev libglu1-mesa-dev libgl1-mesa-dri mesa-utils
  # video
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavdevice-dev ffmpeg
  # X11
  libx11-dev libxext-dev libxfixes-dev libxrandr-dev libxss-dev libxtst-dev xvfb xauth
  # other
  libasound2-dev nettle-dev iproute2 util-linux locales
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
