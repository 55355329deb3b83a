#!/usr/bin/env bash
# Builds everything and runs the whole test suite (CTest).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cd build
ctest --output-on-failure --timeout 900 "$@"
