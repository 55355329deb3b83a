#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root),
# then configures and builds into build/: the targets named, or everything.
#
#   setup.sh [--packaging] [--werror] [TARGET...]
#
# --packaging also installs what builds and checks the Debian package, and
# builds with Debian's hardening flags (as dpkg-buildflags gives them).
# --werror builds with compiler warnings as errors, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev qt6-translations-l10n
          libgl1-mesa-dev fonts-ipafont-gothic xvfb xauth xdotool
          qt6-charts-dev libqt6opengl6-dev libqt6sql6-sqlite)
# The visit report's test reads the PDF's text with pdftotext.
packages+=(poppler-utils)
# The fuzz targets (scripts/fuzz.sh, the test fuzz_short): clang with its
# libFuzzer and sanitizer runtimes, which Debian 12 ships in libclang-rt-14-dev.
packages+=(clang libclang-rt-14-dev)
cmake_options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
packaging=
# A compiler cache makes rebuilds in a second checkout (a worktree) cheap.
command -v ccache >/dev/null && cmake_options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
while [ $# -gt 0 ]; do
    case "$1" in
        --packaging)
            # dpkg-shlibdeps computes the Depends line; CPack finds the programs with
            # `file`; the package's check reads the manual pages with man and
            # the example timer's units with systemd-analyze.
            packages+=(dpkg-dev file desktop-file-utils appstream man-db systemd)
            packaging=1 ;;
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
    # A fresh machine is often running its daily update: wait for the package
    # lock (apt says so every few seconds) instead of failing at once.
    lock_wait=(-o DPkg::Lock::Timeout=600)
    echo "setup.sh: installing ${missing[*]} (waits up to 10 minutes for another package manager to finish)"
    $SUDO apt-get "${lock_wait[@]}" update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get "${lock_wait[@]}" install -y --no-install-recommends "${missing[@]}"
fi

if [ -n "$packaging" ]; then
    # The packaged programs get Debian's hardening: stack protector, fortified
    # C library calls, read-only relocations bound at start (PIE is the
    # compiler's default). The source path stays out of the flags so that a
    # compiler cache serves every checkout alike.
    flags() {
        DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" \
            dpkg-buildflags --get "$1"
    }
    cmake_options+=(-DQUVO_HARDENED=ON
                    "-DCMAKE_CXX_FLAGS=$(flags CPPFLAGS) $(flags CXXFLAGS)"
                    "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)"
                    "-DCMAKE_SHARED_LINKER_FLAGS=$(flags LDFLAGS)"
                    "-DCMAKE_MODULE_LINKER_FLAGS=$(flags LDFLAGS)")
fi

cmake -S . -B build "${cmake_options[@]}" >/dev/null
if [ $# -gt 0 ]; then
    cmake --build build -j"$(nproc)" --target "$@"
else
    cmake --build build -j"$(nproc)"
fi
