#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite
# (CTest), the Debian package's check included. CI runs this.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging --werror
cd build
ctest --output-on-failure --timeout 900 "$@"
