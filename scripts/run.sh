#!/usr/bin/env bash
# Builds the two programs it runs, then starts quvo-utility with the
# controller emulator as its controller: a port directory of its own masks
# this machine's serial devices, the emulator is published there at COM5
# with a demonstration state and simulated sales, and closing the window,
# Ctrl+C or a SIGTERM to this script ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh quvo-utility quvo-emulator

com=5
scenario=emulator/scenarios/demo.json
session_runtime=${XDG_RUNTIME_DIR:-}
runtime=$(mktemp -d)
utility_pid=$runtime/utility.pid
# Every child runs as a job of its own process group (job control on), so a
# signal can end it with whatever it started (xvfb-run's X server); and it
# runs in the background while this script waits, because bash holds a trap
# until a foreground child has ended.
set -m
jobs_started=()
start() {
    "$@" &
    jobs_started+=($!)
}
# Running, not a zombie waiting to be reaped.
running() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}
cleanup() {
    trap - INT TERM
    [ ${#jobs_started[@]} -gt 0 ] || { rm -rf "$runtime"; return; }
    local pid groups=()
    # The utility first, on its own: it ends as closing its window does
    # while its display and its controller are still there. Ended together
    # with it, the virtual X server could go first and cut it off ("The X11
    # connection broke") before it had recorded the end of the visit.
    if [ -s "$utility_pid" ]; then
        pid=$(cat "$utility_pid")
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 10); do
            running "$pid" || break
            sleep 0.1
        done
    fi
    for pid in "${jobs_started[@]}"; do groups+=("-$pid"); done
    kill -TERM -- "${groups[@]}" 2>/dev/null || true
    # Whatever has not ended 0.8 s later is killed.
    (sleep 0.8; kill -KILL -- "${groups[@]}" 2>/dev/null) &
    local watchdog=$!
    wait "${jobs_started[@]}" 2>/dev/null || true
    kill -- "-$watchdog" 2>/dev/null || true
    wait "$watchdog" 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export XDG_RUNTIME_DIR=$runtime
# The utility writes its own pid (utility_pid), also when xvfb-run starts it.
utility=(sh -c 'echo $$ >"$0"; exec "$@"' "$utility_pid" build/quvo-utility --journal "$runtime/journal.sqlite")
mkdir -m 700 "$runtime/quvo-ports"
for n in $(seq 1 96); do
    ln -s "$runtime/masked-COM$n" "$runtime/quvo-ports/COM$n"
done
# A Wayland session's socket stays where it was.
if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] && [ -n "$session_runtime" ]; then
    export WAYLAND_DISPLAY=$session_runtime/$WAYLAND_DISPLAY
fi

start build/emulator/quvo-emulator --com "$com" --scenario "$scenario" --simulate-sales \
    --log "$runtime/commands.log" --ready-file "$runtime/ready"
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
# The emulator's readings are kept apart from the technician's own journal
# of real machines, and go with this run.

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    start "${utility[@]}"
else
    cat >&2 <<'NOTE'
run.sh: there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set).
The window runs on a virtual X display (xvfb-run) that nobody can see.
Press Ctrl+C to end it and the emulator. To see the window, run this
command in a desktop session, or over ssh -X.
NOTE
    # xvfb-run keeps its X authority file in TMPDIR: inside our directory, it
    # goes with it.
    TMPDIR=$runtime start xvfb-run -a "${utility[@]}"
fi
# Quietly: job control would report how the window's job ended.
wait "$!" 2>/dev/null

