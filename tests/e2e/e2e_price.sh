#!/usr/bin/env bash
# The real program end to end: quvo-utility under a virtual X server with the
# controller emulator at one COM number. Connect, open the 設定・保守 page,
# click the price cell of column 3, click into the dialog's field, replace its
# text with 12.5 and press Enter. The emulator's log must then show "QVU1",
# "QVSP2=007D", "QVU0" and the whole full read, and the grids 12.5.
# Leaves two screenshots: the dialog as typed, and the page afterwards.
#
# usage: e2e_price.sh UTILITY EMULATOR SCREENSHOT-TOOL SCREENSHOT-DIR
set -euo pipefail
here=$(dirname "$0")
. "$here/common.sh"
mapfile -t full_read < <(e2e_full_read_commands)

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    shift
    utility=$1 work=$2 shooter=$3 shots=$4
    has() { e2e_commands | grep -qx -- "$1"; }
    e2e_start_and_connect "$utility"
    for _ in $(seq 1 200); do has QVC && break; sleep 0.1; done
    has QVC || { echo "FAIL: no full read after connecting" >&2; exit 1; }
    # The poll keeps the log growing; the connection is complete once QVY comes.
    for _ in $(seq 1 100); do has QVY && break; sleep 0.1; done

    # The 設定・保守 tab is the second of the tab row on the left.
    e2e_click_and_settle "$wid" 13 181 "$work/page.png"
    # OptGrid1 at (2, 2) of the page: column 1, row 2 (コラム3価格).
    xdotool mousemove --window "$wid" 119 87 click 1
    dlg=$(timeout 10 xdotool search --sync --onlyvisible --name '^DataSetDialog$' | head -n1 || true)
    [ -n "$dlg" ] || { echo "FAIL: the value-entry dialog did not open" >&2; exit 1; }
    "$shooter" --settled "$work/dialog.png" "$dlg" || e2e_fail "the dialog was not painted"
    # The field spans (24, 56) 185 x 24; the current price is in it, so select it all first.
    xdotool mousemove --window "$dlg" 110 68 click 1
    xdotool key --window "$dlg" ctrl+a
    xdotool type --window "$dlg" --delay 50 '12.5'
    "$shooter" --unlike "$work/dialog.png" "$shots/price_e2e_dialog.png" "$dlg" || echo "note: no dialog screenshot" >&2
    # Through the keyboard, not to the dialog's window: the window answers
    # while the write goes out, and the dialog is gone before the key's
    # release could be sent to it.
    xdotool key Return
    # The full read after the write ends with QVC.
    read_back_done() { e2e_commands | sed -n '/^QVSP2=007D$/,$p' | grep -qx QVC; }
    for _ in $(seq 1 300); do read_back_done && break; sleep 0.1; done
    # The page as it was before the write differs from it in the new price.
    "$shooter" --unlike "$work/page.png" "$shots/price_e2e.png" "$wid" || echo "note: no screenshot" >&2
    exit 0
fi

utility=$1 emulator=$2 shooter=$3 shots=$4
e2e_require_tools
e2e_sandbox
cat >"$work/scenario.json" <<'JSON'
{ "prices": [100, 200, 300, 400, 50, 60, 70, 80, 90, 100],
  "counts": [3, 1, 4, 1, 5, 9, 2, 6, 5, 3] }
JSON
e2e_start_emulator "$emulator" 12 --scenario "$work/scenario.json"

mkdir -p "$shots"
rm -f "$shots/price_e2e.png" "$shots/price_e2e_dialog.png"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$utility" "$work" "$shooter" "$shots" || status=$?

[ "$status" -eq 0 ] || { e2e_show_log; exit 1; }

mapfile -t got < <(e2e_commands)
at=-1
for i in "${!got[@]}"; do
    if [ "${got[$i]}" = "QVSP2=007D" ]; then at=$i; break; fi
done
if [ "$at" -lt 1 ] || [ "${got[$((at - 1))]}" != "QVU1" ] || [ "${got[$((at + 1))]:-}" != "QVU0" ]; then
    echo "FAIL: expected QVU1, QVSP2=007D, QVU0 in a row" >&2
    e2e_show_log
    exit 1
fi
echo "ok: QVU1, QVSP2=007D, QVU0"
for i in "${!full_read[@]}"; do
    if [ "${got[$((at + 2 + i))]:-}" != "${full_read[$i]}" ]; then
        echo "FAIL: command $((i + 1)) after the write is ${got[$((at + 2 + i))]:-nothing}, expected ${full_read[$i]}" >&2
        e2e_show_log
        exit 1
    fi
done
echo "ok: the ${#full_read[@]} commands of the full read followed at once"
for f in price_e2e_dialog.png price_e2e.png; do
    if [ -f "$shots/$f" ]; then echo "screenshot: $shots/$f"; else echo "note: no screenshot $f"; fi
done
