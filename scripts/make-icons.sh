#!/usr/bin/env bash
# Draws the application icon's PNGs from resources/icons/quvo-utility.svg at
# the hicolor theme's sizes. The PNGs are committed; run this after editing
# the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v rsvg-convert >/dev/null; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends librsvg2-bin
fi
for size in 16 22 24 32 48 64 128 256 512; do
    rsvg-convert -w "$size" -h "$size" resources/icons/quvo-utility.svg \
        -o "resources/icons/quvo-utility-$size.png"
done
