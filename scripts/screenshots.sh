#!/usr/bin/env bash
# The README's pictures, taken from the running program: quvo-utility under a
# virtual X server, connected to the controller emulator with the
# demonstration scenario, one screenshot of each page the window shows:
# docs/sales-page.png and docs/settings-page.png.
set -euo pipefail
cd "$(dirname "$0")/.."
. tests/e2e/common.sh

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    work=$2
    shooter=build/tests/quvo-screenshot
    e2e_start_and_connect build/quvo-utility
    # Connected, read in full and polled a while: the live figures are in.
    for _ in $(seq 300); do
        [ "$(e2e_commands | grep -cx QVY)" -ge 6 ] && break
        sleep 0.1
    done
    [ "$(e2e_commands | grep -cx QVY)" -ge 6 ] || e2e_fail "the utility did not connect"
    "$shooter" --settled docs/sales-page.png "$wid"
    # The 設定・保守 tab is the second of the tab row on the left.
    xdotool mousemove --window "$wid" 14 180 click 1
    "$shooter" --unlike docs/sales-page.png docs/settings-page.png "$wid"
    exit 0
fi

./scripts/setup.sh quvo-utility quvo-emulator quvo-screenshot
e2e_require_tools
e2e_sandbox
e2e_start_emulator build/emulator/quvo-emulator 5 --scenario emulator/scenarios/demo.json
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$work" \
    || { e2e_show_log; e2e_fail "the screenshots could not be taken"; }
ls -l docs/sales-page.png docs/settings-page.png
