#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite
# (CTest), the Debian package's check included. CI runs this.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --packaging --werror
cd build
# The tests mostly wait on pseudo-terminals and timers, so several run at
# once; the benchmark runs alone (see tests/ui.cmake).
ctest --output-on-failure --timeout 900 -j4 "$@"
