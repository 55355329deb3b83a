#!/usr/bin/env bash
# The real program end to end: quvo-utility under a virtual X server with a
# controller emulator at COM200. A click on 接続; then the emulator's log
# must show the probe, the version read, the 46 commands of the full read,
# four status requests, the live re-read and the fifth status request.
# Leaves screenshots of the sales and the settings page.
#
# usage: e2e_connect.sh UTILITY EMULATOR SCREENSHOT-TOOL SCREENSHOT-DIR SCENARIO
set -euo pipefail
here=$(dirname "$0")
. "$here/common.sh"

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    shift
    utility=$1 work=$2 shooter=$3 shots=$4
    e2e_start_and_connect "$utility"
    for _ in $(seq 300); do
        [ "$(e2e_commands | grep -cx QVY)" -ge 12 ] && break
        sleep 0.1
    done
    "$shooter" --settled "$shots/connect_e2e.png" "$wid"
    # The settings tab lies below the sales tab on the left.
    xdotool mousemove --window "$wid" 14 180 click 1
    "$shooter" --unlike "$shots/connect_e2e.png" "$shots/connect_e2e_settings.png" "$wid"
    exit 0
fi

utility=$1 emulator=$2 shooter=$3 shots=$4 scenario=$5
e2e_require_tools
e2e_sandbox
e2e_start_emulator "$emulator" 200 --baud 9600 --scenario "$scenario"
mkdir -p "$shots"
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$utility" "$work" "$shooter" "$shots" \
    || { e2e_show_log; e2e_fail "the program could not be driven"; }

e2e_commands >"$work/commands"
{
    echo QV; echo QVV
    e2e_full_read_commands
    echo QVY; echo QVY; echo QVY; echo QVY
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRC$c"; done
    echo QVREA; echo QVC; echo QVY
} >"$work/expected"
n=$(wc -l <"$work/expected")
if ! diff <(head -n "$n" "$work/commands") "$work/expected" >"$work/diff"; then
    cat "$work/diff" >&2
    e2e_fail "the emulator's log differs from the connection, the full read and the poll"
fi
echo "ok: $(wc -l <"$work/commands") commands; the first $n as expected (QV, QVV, 46 reads, 4 x QVY, refresh, QVY)"
echo "screenshots: $shots/connect_e2e.png $shots/connect_e2e_settings.png"
