#!/usr/bin/env bash
# scripts/run.sh told to stop by a signal to its own pid alone, as `kill`,
# `timeout`, a supervisor or Ctrl+C in its terminal sends it: within 2 s the
# utility, the emulator and (without a display) the virtual X server have
# ended, the utility first, without losing its display, and its directory
# is gone. run.sh runs from a copy of the tree whose setup step does nothing
# and whose build/ is the build under test.
#
# usage: run_signals.sh SOURCE-DIR BUILD-DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
# Job control: run.sh gets a process group of its own and, unlike a plain
# background command, does not start with SIGINT ignored.
set -m
run_pid=
pids=()
# Whatever a failed case left running goes with the test.
trap '[ -n "$run_pid" ] && kill -KILL -- "-$run_pid" "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/log" ] && cat "$work/log" >&2; exit 1; }

tree=$work/tree
mkdir -p "$tree/scripts" "$tree/emulator"
cp "$source_dir/scripts/run.sh" "$tree/scripts/"
printf '#!/bin/sh\n' >"$tree/scripts/setup.sh"
chmod +x "$tree/scripts/setup.sh"
ln -s "$build_dir" "$tree/build"
ln -s "$source_dir/emulator/scenarios" "$tree/emulator/scenarios"
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache

# Running, not a zombie waiting to be reaped.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat%% *}" != Z ]
}
descendants() {
    local child
    for child in $(ps -o pid= --ppid "$1"); do
        echo "$child"
        descendants "$child"
    done
}
names() {
    local pid
    for pid in "$@"; do cat "/proc/$pid/comm" 2>/dev/null || true; done
}

# signal | display: "window" runs the utility directly (offscreen), "none" under xvfb-run
cases=("INT|window" "TERM|window" "INT|none" "TERM|none")
for row in "${cases[@]}"; do
    sig=${row%%|*}
    display=${row#*|}
    mkdir "$work/tmp"
    if [ "$display" = window ]; then
        env -u WAYLAND_DISPLAY DISPLAY=:none QT_QPA_PLATFORM=offscreen TMPDIR="$work/tmp" \
            "$tree/scripts/run.sh" >"$work/log" 2>&1 &
        expect=(quvo-emulator quvo-utility)
    else
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM TMPDIR="$work/tmp" \
            "$tree/scripts/run.sh" >"$work/log" 2>&1 &
        expect=(quvo-emulator Xvfb quvo-utility)
    fi
    run_pid=$!
    # Wait until everything it starts is running: a bounded poll (30 s at
    # most), each round 0.1 s apart.
    for _ in $(seq 1 300); do
        pids=($(descendants "$run_pid"))
        running=$(names "${pids[@]}")
        missing=
        for name in "${expect[@]}"; do grep -qx "$name" <<<"$running" || missing+=" $name"; done
        [ -z "$missing" ] && break
        alive "$run_pid" || fail "$row: run.sh ended before starting$missing"
        sleep 0.1
    done
    [ -z "$missing" ] || fail "$row: not started within 30 s:$missing"

    start=$(date +%s%N)
    kill -s "$sig" "$run_pid"
    # A bounded poll for the processes to end: the 2 s it may take is what
    # is tested, looked at every 0.1 s.
    for _ in $(seq 1 20); do
        left=()
        for pid in "$run_pid" "${pids[@]}"; do alive "$pid" && left+=("$pid"); done
        [ ${#left[@]} -eq 0 ] && break
        sleep 0.1
    done
    elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
    [ ${#left[@]} -eq 0 ] || fail "$row: still running 2 s after SIG$sig: $(names "${left[@]}" | tr '\n' ' ')"
    wait "$run_pid" || true
    run_pid=
    [ -z "$(ls -A "$work/tmp")" ] || fail "$row: left behind in TMPDIR: $(ls -A "$work/tmp")"
    # The utility ended before its display: Qt says so when it goes first.
    ! grep -q "X11 connection broke" "$work/log" || fail "$row: the utility's X server ended before it did"
    rmdir "$work/tmp"
    echo "SIG$sig, display $display: ${#pids[@]} processes ended in $elapsed ms"
done
