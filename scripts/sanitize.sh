#!/usr/bin/env bash
# Builds the whole suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ and runs it. Any sanitizer report fails the test that
# raised it. Leak detection is off: Qt's own start-up allocations would drown
# everything else. Extra arguments go to ctest (for example -R tst_write).
#
# With --thread: builds the link, device and window tests with ThreadSanitizer
# in build-tsan/ and runs them; a report fails its test. Debian's Qt is not
# built for the sanitizer, so what Qt hands between threads with its own
# locks is suppressed (scripts/tsan.supp); our own code gets no suppression.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh >/dev/null

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

if [ "${1:-}" = "--thread" ]; then
    shift
    tests=(tst_device_link tst_search tst_full_read tst_live_poll tst_write_operations tst_standard_count
           tst_change_reconciliation tst_io_port tst_main_form tst_data_views tst_write_window tst_change_page
           tst_main_form_receipt tst_write_round_trip tst_change_emulator)
    flags="-fsanitize=thread -fno-omit-frame-pointer -O1 -g"
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
          -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
          -DQUVO_TEST_TIMEOUT=3000 >/dev/null
    cmake --build build-tsan -j"$(nproc)" --target quvo-emulator "${tests[@]}"
    # die_after_fork=0: the emulator is started with fork and exec, and the
    # child only execs.
    export TSAN_OPTIONS="suppressions=$PWD/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1:die_after_fork=0"
    pattern=$(IFS='|'; echo "^(${tests[*]})\$")
    cd build-tsan
    ctest --output-on-failure --timeout 1800 -R "$pattern" "$@"
    exit
fi

flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
      -DCMAKE_CXX_FLAGS="$flags" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-sanitize -j"$(nproc)"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-sanitize
ctest --output-on-failure --timeout 1800 "$@"
