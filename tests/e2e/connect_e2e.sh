#!/usr/bin/env bash
# The real program end to end: quvo-utility under a virtual X server, a
# controller emulator published at one COM number, a click on 接続, then the
# emulator's command log must show the probe, the version read and (once it
# exists) the full read in order. Leaves a screenshot for a person to look at.
#
# usage: connect_e2e.sh UTILITY EMULATOR SCREENSHOT-TOOL SCREENSHOT-DIR
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
    # Runs under xvfb-run, with DISPLAY set.
    shift
    utility=$1 work=$2 shooter=$3 shot=$4
    export QT_QPA_PLATFORM=xcb
    "$utility" >"$work/utility.out" 2>&1 &
    util=$!
    trap 'kill "$util" 2>/dev/null || true; wait "$util" 2>/dev/null || true' EXIT

    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^QUVO-Vexa UtilitySoftware$' | head -n1 || true)
    if [ -z "$wid" ]; then
        echo "FAIL: no window titled QUVO-Vexa UtilitySoftware appeared" >&2
        exit 1
    fi
    sleep 1   # mapped is not yet painted
    # 接続 (ConBtn) spans x 8..81, y 3..28 of the window's client area.
    xdotool mousemove --window "$wid" 40 15 click 1

    log=$work/commands.log
    count() { [ -f "$log" ] && wc -l <"$log" || echo 0; }
    # The probe and the version read: the version read alone waits out 750 ms.
    for _ in $(seq 1 300); do
        [ "$(count)" -ge 2 ] && break
        sleep 0.1
    done
    # The full read, if the program has it, needs a few seconds more (its
    # text reads each wait out the time-out too). A log that stays still for
    # three seconds has nothing more to come.
    last=$(count) still=0
    for _ in $(seq 1 200); do
        now=$(count)
        [ "$now" -ge 48 ] && break
        if [ "$now" = "$last" ]; then still=$((still + 1)); else still=0 last=$now; fi
        [ "$still" -ge 30 ] && break
        sleep 0.1
    done
    sleep 1   # let the window show the outcome before the picture
    "$shooter" "$shot" || echo "note: no screenshot taken" >&2
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
mkdir -m 700 "$work/quvo-ports"
for n in $(seq 1 96); do
    ln -s "$work/masked-COM$n" "$work/quvo-ports/COM$n"
done

com=12
"$emulator" --com "$com" --log "$work/commands.log" --ready-file "$work/ready" >"$work/emulator.out" 2>&1 &
emu=$!
for _ in $(seq 1 100); do
    [ -f "$work/ready" ] && break
    sleep 0.1
done
[ -f "$work/ready" ] || { echo "FAIL: the emulator did not publish COM$com" >&2; cat "$work/emulator.out" >&2; exit 1; }

mkdir -p "$shots"
shot=$shots/connect_e2e.png
rm -f "$shot"
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside "$utility" "$work" "$shooter" "$shot"

mapfile -t got < <(cut -d' ' -f3- "$work/commands.log" 2>/dev/null || true)
echo "emulator log: ${#got[@]} commands"
show_log() { echo "--- emulator log" >&2; cat "$work/commands.log" >&2 || true; echo "--- utility output" >&2; cat "$work/utility.out" >&2 || true; }

if [ "${#got[@]}" -lt 2 ] || [ "${got[0]}" != "QV" ] || [ "${got[1]}" != "QVV" ]; then
    echo "FAIL: expected QV then QVV first" >&2
    show_log
    exit 1
fi
echo "ok: COM$com probed with QV, version read with QVV"

if [ "${#got[@]}" -ge 48 ]; then
    expected=(QVQ)
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do expected+=("QVRP$c"); done
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do expected+=("QVRC$c"); done
    for k in 1 2 3 4 5 6; do expected+=("QVRO$k"); done
    expected+=(QVROA QVROB QVROC QVRON QVREA QVREC QVC)
    for i in "${!expected[@]}"; do
        if [ "${got[$((i + 2))]}" != "${expected[$i]}" ]; then
            echo "FAIL: command $((i + 3)) of the connection is ${got[$((i + 2))]}, expected ${expected[$i]}" >&2
            show_log
            exit 1
        fi
    done
    echo "ok: the ${#expected[@]} commands of the full read followed in order"
else
    echo "note: only ${#got[@]} commands; the full read was not checked"
fi

if [ -f "$shot" ]; then echo "screenshot: $shot"; else echo "note: no screenshot at $shot"; fi
