#!/usr/bin/env bash
# The real program end to end: quvo-utility under a virtual X server with the
# controller emulator at one COM number. Connect, open the 設定・保守 page,
# click the price cell of column 3, click into the dialog's field, replace its
# text with 12.5 and press Enter. The emulator's log must then show "QVU1",
# "QVSP2=007D", "QVU0" and the whole full read, and the grids 12.5.
# Leaves two screenshots: the dialog as typed, and the page afterwards.
#
# usage: price_e2e.sh UTILITY EMULATOR SCREENSHOT-TOOL SCREENSHOT-DIR
set -euo pipefail

full_read=(QVQ)
for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do full_read+=("QVRP$c"); done
for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do full_read+=("QVRC$c"); done
for k in 1 2 3 4 5 6; do full_read+=("QVRO$k"); done
full_read+=(QVROA QVROB QVROC QVRON QVREA QVREC QVC)

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    shift
    utility=$1 work=$2 shooter=$3 shots=$4
    export QT_QPA_PLATFORM=xcb
    "$utility" >"$work/utility.out" 2>&1 &
    util=$!
    trap 'kill "$util" 2>/dev/null || true; wait "$util" 2>/dev/null || true' EXIT
    log=$work/commands.log
    has() { [ -f "$log" ] && cut -d' ' -f3- "$log" | grep -qx -- "$1"; }

    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^QUVO-Vexa UtilitySoftware$' | head -n1 || true)
    [ -n "$wid" ] || { echo "FAIL: the main window did not appear" >&2; exit 1; }
    sleep 1
    # 接続 (ConBtn) at x 8..81, y 3..28 of the client area.
    xdotool mousemove --window "$wid" 40 15 click 1
    for _ in $(seq 1 200); do has QVC && break; sleep 0.1; done
    has QVC || { echo "FAIL: no full read after connecting" >&2; exit 1; }
    # The poll keeps the log growing; the connection is complete once QVY comes.
    for _ in $(seq 1 100); do has QVY && break; sleep 0.1; done

    # The 設定・保守 tab is the second of the tab row on the left.
    xdotool mousemove --window "$wid" 13 181 click 1
    sleep 0.5
    # OptGrid1 at (2, 2) of the page: column 1, row 2 (コラム3価格).
    xdotool mousemove --window "$wid" 119 87 click 1
    dlg=$(timeout 10 xdotool search --sync --onlyvisible --name '^DataSetDialog$' | head -n1 || true)
    [ -n "$dlg" ] || { echo "FAIL: the value-entry dialog did not open" >&2; exit 1; }
    sleep 0.5
    # The field spans (24, 56) 185 x 24; the current price is in it, so select it all first.
    xdotool mousemove --window "$dlg" 110 68 click 1
    xdotool key --window "$dlg" ctrl+a
    xdotool type --window "$dlg" --delay 50 '12.5'
    sleep 0.3
    "$shooter" "$shots/price_e2e_dialog.png" || echo "note: no dialog screenshot" >&2
    xdotool key --window "$dlg" Return
    # The full read after the write ends with QVC.
    read_back_done() { cut -d' ' -f3- "$log" | sed -n '/^QVSP2=007D$/,$p' | grep -qx QVC; }
    for _ in $(seq 1 300); do read_back_done && break; sleep 0.1; done
    sleep 1
    "$shooter" "$shots/price_e2e.png" || echo "note: no screenshot" >&2
    exit 0
fi

utility=$1 emulator=$2 shooter=$3 shots=$4
for tool in xvfb-run xdotool xauth; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/setup.sh installs it)" >&2; exit 1; }
done

# A runtime directory of our own with this machine's serial devices masked.
work=$(mktemp -d)
emu=
cleanup() {
    [ -n "$emu" ] && kill "$emu" 2>/dev/null && wait "$emu" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$work
chmod 700 "$work"
mkdir -m 700 "$work/quvo-ports"
for n in $(seq 1 96); do
    ln -s "$work/masked-COM$n" "$work/quvo-ports/COM$n"
done

cat >"$work/scenario.json" <<'JSON'
{ "prices": [100, 200, 300, 400, 50, 60, 70, 80, 90, 100],
  "counts": [3, 1, 4, 1, 5, 9, 2, 6, 5, 3] }
JSON

com=12
"$emulator" --com "$com" --scenario "$work/scenario.json" --log "$work/commands.log" \
    --ready-file "$work/ready" >"$work/emulator.out" 2>&1 &
emu=$!
for _ in $(seq 1 100); do
    [ -f "$work/ready" ] && break
    sleep 0.1
done
[ -f "$work/ready" ] || { echo "FAIL: the emulator did not publish COM$com" >&2; cat "$work/emulator.out" >&2; exit 1; }

mkdir -p "$shots"
rm -f "$shots/price_e2e.png" "$shots/price_e2e_dialog.png"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$utility" "$work" "$shooter" "$shots" || status=$?

show_log() { echo "--- emulator log" >&2; cat "$work/commands.log" >&2 || true; echo "--- utility output" >&2; cat "$work/utility.out" >&2 || true; }
[ "$status" -eq 0 ] || { show_log; exit 1; }

mapfile -t got < <(cut -d' ' -f3- "$work/commands.log" 2>/dev/null || true)
at=-1
for i in "${!got[@]}"; do
    if [ "${got[$i]}" = "QVSP2=007D" ]; then at=$i; break; fi
done
if [ "$at" -lt 1 ] || [ "${got[$((at - 1))]}" != "QVU1" ] || [ "${got[$((at + 1))]:-}" != "QVU0" ]; then
    echo "FAIL: expected QVU1, QVSP2=007D, QVU0 in a row" >&2
    show_log
    exit 1
fi
echo "ok: QVU1, QVSP2=007D, QVU0"
for i in "${!full_read[@]}"; do
    if [ "${got[$((at + 2 + i))]:-}" != "${full_read[$i]}" ]; then
        echo "FAIL: command $((i + 1)) after the write is ${got[$((at + 2 + i))]:-nothing}, expected ${full_read[$i]}" >&2
        show_log
        exit 1
    fi
done
echo "ok: the ${#full_read[@]} commands of the full read followed at once"
for f in price_e2e_dialog.png price_e2e.png; do
    if [ -f "$shots/$f" ]; then echo "screenshot: $shots/$f"; else echo "note: no screenshot $f"; fi
done
