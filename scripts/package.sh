#!/usr/bin/env bash
# Builds the Debian package of quvo-utility and quvo-emulator into
# build/packages/ and checks its desktop entry and metainfo.
# Install it with: sudo apt install ./build/packages/quvo-utility_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging quvo-utility quvo-emulator quvo-data

cd build
rm -f packages/quvo-utility_*.deb
cpack
desktop-file-validate ../packaging/org.quvo.utility.desktop
appstreamcli validate --no-net --strict packaging/org.quvo.utility.metainfo.xml
ls -1 "$PWD"/packages/quvo-utility_*.deb
