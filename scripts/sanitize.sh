#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ and runs it. Any sanitizer report fails the test that
# raised it. Leak detection is off: Qt's own start-up allocations would drown
# everything else. Extra arguments go to ctest (for example -R tst_write).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >/dev/null

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
      -DCMAKE_CXX_FLAGS="$flags" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-sanitize
ctest --output-on-failure --timeout 1800 "$@"
