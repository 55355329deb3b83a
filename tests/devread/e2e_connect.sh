#!/usr/bin/env bash
# The real program under Xvfb against the controller emulator: click 接続,
# then read the emulator's command log and take a screenshot.
#   e2e_connect.sh UTILITY EMULATOR SCREENSHOT-TOOL OUT.png SCENARIO.json
set -euo pipefail
utility=$1 emulator=$2 shooter=$3 out=$4 scenario=$5
com=200

for tool in xvfb-run xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 0; }
done

# A runtime directory of our own: COM1-96 masked, the emulator published.
work=$(mktemp -d)
chmod 700 "$work"
export XDG_RUNTIME_DIR=$work
mkdir -p "$work/quvo-ports"
for n in $(seq 1 96); do ln -s "$work/masked-COM$n" "$work/quvo-ports/COM$n"; done

"$emulator" --com $com --baud 9600 --scenario "$scenario" --log "$work/log" --ready-file "$work/ready" >"$work/emulator.out" 2>&1 &
emu=$!
trap 'kill $emu 2>/dev/null || true; wait $emu 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || { echo "FAIL: the emulator did not publish COM$com"; cat "$work/emulator.out"; exit 1; }

# Inside the X server: start the program, click 接続, wait for the poll.
cat >"$work/inside.sh" <<'INSIDE'
set -u
utility=$1 shooter=$2 out=$3 log=$4
"$utility" &
app=$!
wid=
for _ in $(seq 100); do
    wid=$(xdotool search --name '^QUVO-Vexa UtilitySoftware$' 2>/dev/null | head -n1) && [ -n "$wid" ] && break
    sleep 0.1
done
[ -n "$wid" ] || { echo "FAIL: no window"; kill $app; exit 1; }
sleep 0.5
# The connect button: (8, 3), 73 x 25 in the top panel.
xdotool mousemove --window "$wid" 44 15 click 1
for _ in $(seq 300); do
    [ "$(grep -c ' QVY$' "$log" 2>/dev/null)" -ge 12 ] && break
    sleep 0.1
done
sleep 0.3
"$shooter" "$out"
# The settings page: its tab lies below the sales tab on the left.
xdotool mousemove --window "$wid" 14 180 click 1
sleep 0.5
"$shooter" "${out%.png}-settings.png"
kill $app
wait $app 2>/dev/null
exit 0
INSIDE
xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/inside.sh" "$utility" "$shooter" "$out" "$work/log"

# The log: "<time> COM200 <command>" a line.
awk '{print $3}' "$work/log" >"$work/commands"
{
    echo QV; echo QVV; echo QVQ
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRP$c"; done
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRC$c"; done
    for k in 1 2 3 4 5 6; do echo "QVRO$k"; done
    echo QVROA; echo QVROB; echo QVROC; echo QVRON; echo QVREA; echo QVREC; echo QVC
    echo QVY; echo QVY; echo QVY; echo QVY
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRC$c"; done
    echo QVREA; echo QVC; echo QVY
} >"$work/expected"
n=$(wc -l <"$work/expected")
if ! diff <(head -n "$n" "$work/commands") "$work/expected" >"$work/diff"; then
    echo "FAIL: the emulator's log differs from the connection, the full read and the poll:"
    cat "$work/diff"
    exit 1
fi
echo "log: $(wc -l <"$work/commands") commands; the first $n as expected (QV, QVV, 46 reads, 4 x QVY, refresh, QVY)"
sed -n '1p;2p;49p;50p;$p' "$work/log"
echo "screenshots: $out ${out%.png}-settings.png"
