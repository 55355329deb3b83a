#!/usr/bin/env bash
# The real program end to end on a line that misbehaves once: the emulator at
# 9600 baud answers QVRP2 of the connect read 1.0 s late. The connection must
# still complete without an error box, and an options write made right after,
# with no edits, must send exactly the settings the controller holds.
# Leaves a screenshot of the settings page before the write.
#
# usage: e2e_late_reply.sh UTILITY EMULATOR SCREENSHOT-TOOL SCREENSHOT-DIR
set -euo pipefail
here=$(dirname "$0")
. "$here/common.sh"

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    shift
    utility=$1 work=$2 shooter=$3 shots=$4
    has() { e2e_commands | grep -qx -- "$1"; }
    e2e_start_and_connect "$utility"
    for _ in $(seq 1 200); do has QVY && break; sleep 0.1; done
    has QVY || e2e_fail "the connection did not reach the poll"
    # An error box would be a second visible top-level window.
    if xdotool search --onlyvisible --name '^(Error|quvo-utility)$' >/dev/null 2>&1; then
        e2e_fail "a message box appeared during the connection"
    fi
    # The 設定・保守 tab, then 確定・送信 (x 666..756, y 152..177 of GroupBox1 at
    # (8, 396) on the page, which starts beside the 28-pixel tab row).
    e2e_click_and_settle "$wid" 13 181 "$work/page.png"
    cp "$work/page.png" "$shots/late_reply_e2e.png"
    xdotool mousemove --window "$wid" 747 594 click 1
    # The confirmation, then the restart notice: OK on each, until the
    # restart's two QVF have gone out. A box found just as it closes is
    # no longer there for the key, so each round looks again.
    for _ in $(seq 1 60); do
        [ "$(e2e_commands | grep -cx QVF)" -ge 2 ] && break
        sleep 0.3
        for box in $(xdotool search --onlyvisible --name '^Information$' 2>/dev/null || true); do
            xdotool key --window "$box" Return 2>/dev/null || true
        done
    done
    exit 0
fi

utility=$1 emulator=$2 shooter=$3 shots=$4
e2e_require_tools
e2e_sandbox
cat >"$work/scenario.json" <<'JSON'
{ "prices": [100, 200, 300, 400, 50, 60, 70, 80, 90, 100],
  "options": [2, 1, 3, 1, 0, 1],
  "receipt": [{"x": 2, "y": 1, "text": "領 収 書"},
              {"x": 1, "y": 2, "text": "ありがとう"},
              {"x": 3, "y": 4, "text": "ABC"}],
  "id": "QV-00042",
  "faults": [{"command": "QVRP2", "fault": "late", "delayMs": 1000}] }
JSON
e2e_start_emulator "$emulator" 201 --baud 9600 --scenario "$work/scenario.json"
mkdir -p "$shots"
rm -f "$shots/late_reply_e2e.png"
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$utility" "$work" "$shooter" "$shots" \
    || { e2e_show_log; e2e_fail "the program could not be driven"; }

e2e_commands | grep -E '^(QVU1|QVSO|QVW|QVF)' >"$work/written" || true
cat >"$work/expected" <<'EOF2'
QVU1
QVSO1=02
QVSO3=03
QVSO2=01
QVSO4=01
QVSO5=00
QVSO6=01
QVSON=QV-00042
QVSOA=21領 収 書
QVSOB=12ありがとう
QVSOC=34ABC
QVW
QVF
QVF
EOF2
if ! diff "$work/written" "$work/expected" >"$work/diff"; then
    cat "$work/diff" >&2
    e2e_show_log
    e2e_fail "the options write did not carry the controller's own settings"
fi
echo "ok: after a late QVRP2 during the connection the options write sent the controller's settings"
echo "screenshot: $shots/late_reply_e2e.png"
