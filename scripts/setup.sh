#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root),
# then configures and builds into build/: the targets named, or everything.
#
#   setup.sh [--packaging] [--werror] [TARGET...]
#
# --packaging also installs what builds and checks the Debian package.
# --werror builds with compiler warnings as errors, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev qt6-translations-l10n
          libgl1-mesa-dev fonts-ipafont-gothic xvfb xauth xdotool
          qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite)
cmake_options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
# A compiler cache makes rebuilds in a second checkout (a worktree) cheap.
command -v ccache >/dev/null && cmake_options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
while [ $# -gt 0 ]; do
    case "$1" in
        --packaging)
            # dpkg-shlibdeps computes the Depends line; CPack finds the programs with `file`.
            packages+=(dpkg-dev file desktop-file-utils appstream) ;;
        --werror) cmake_options+=(-DQUVO_WERROR=ON) ;;
        *) break ;;
    esac
    shift
done
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build "${cmake_options[@]}" >/dev/null
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
