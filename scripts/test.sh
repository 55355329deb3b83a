#!/usr/bin/env bash
# Builds everything and runs the whole test suite (CTest), the Debian
# package's check included.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging
cd build
ctest --output-on-failure --timeout 900 "$@"
