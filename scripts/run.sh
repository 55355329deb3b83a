#!/usr/bin/env bash
# Builds, then starts quvo-utility with the controller emulator as its
# controller: a port directory of its own masks this machine's serial
# devices, the emulator is published there at COM5 with a demonstration
# state and simulated sales, and closing the window ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

com=5
scenario=emulator/scenarios/demo.json
original_runtime=${XDG_RUNTIME_DIR:-}
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
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] && [ -n "$original_runtime" ]; then
    export WAYLAND_DISPLAY=$original_runtime/$WAYLAND_DISPLAY
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
    echo "run.sh: no display, running under xvfb-run" >&2
    xvfb-run -a build/quvo-utility
fi
