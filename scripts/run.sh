#!/usr/bin/env bash
# Builds the two programs it runs, then starts quvo-utility with the
# controller emulator as its controller: a port directory of its own masks
# this machine's serial devices, the emulator is published there at COM5
# with a demonstration state and simulated sales, and closing the window
# (or Ctrl+C) ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh quvo-utility quvo-emulator

com=5
scenario=emulator/scenarios/demo.json
session_runtime=${XDG_RUNTIME_DIR:-}
runtime=$(mktemp -d)
emu=
cleanup() {
    if [ -n "$emu" ]; then
        kill "$emu" 2>/dev/null || true
        wait "$emu" 2>/dev/null || true
    fi
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_RUNTIME_DIR=$runtime
mkdir -m 700 "$runtime/quvo-ports"
for n in $(seq 1 96); do
    ln -s "$runtime/masked-COM$n" "$runtime/quvo-ports/COM$n"
done
# A Wayland session's socket stays where it was.
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] && [ -n "$session_runtime" ]; then
    export WAYLAND_DISPLAY=$session_runtime/$WAYLAND_DISPLAY
fi

build/emulator/quvo-emulator --com "$com" --scenario "$scenario" --simulate-sales \
    --log "$runtime/commands.log" --ready-file "$runtime/ready" &
emu=$!
for _ in $(seq 1 100); do
    [ -f "$runtime/ready" ] && break
    kill -0 "$emu" 2>/dev/null || break
    sleep 0.1
done
if [ ! -f "$runtime/ready" ]; then
    echo "run.sh: the controller emulator did not start" >&2
    exit 1
fi
echo "Controller emulator at COM$com; click 接続 to connect."

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    build/quvo-utility
else
    cat >&2 <<'NOTE'
run.sh: there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set).
The window runs on a virtual X display (xvfb-run) that nobody can see.
Press Ctrl+C to end it and the emulator. To see the window, run this
command in a desktop session, or over ssh -X.
NOTE
    xvfb-run -a build/quvo-utility
fi
