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
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavdevice-dev libavfilter-dev ffmpeg
  # X11
  libx11-dev libxext-dev libxfixes-dev libxrandr-dev libxss-dev libxtst-dev xvfb xauth
  # other
  libasound2-dev nettle-dev iproute2 util-linux locales
  # the Debian packages (cpack: dpkg-shlibdeps, file)
  dpkg-dev file
  # logind sleep inhibitor (sd-bus)
  libsystemd-dev
  # Chinese texts in widget screenshots
  fonts-wqy-microhei
)
# The libFuzzer targets (tools/fuzz-short.sh) need clang and its fuzzer runtime.
if [ "${FUZZ_DEPS:-0}" = 1 ]; then
  PKGS+=(clang libclang-rt-dev)
fi

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

# A comma-decimal locale lets the tests prove that numbers ignore the user's locale.
ensure_test_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf-\?8$'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 2>/dev/null || true
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_test_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
ensure_test_locale
