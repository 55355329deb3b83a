# Sourced by the end-to-end scripts: a runtime directory of their own in
# which this machine's serial devices are masked, a controller emulator
# published there, and the commands a full read sends.

e2e_fail() { echo "FAIL: $*" >&2; exit 1; }

e2e_require_tools() {
    for tool in xvfb-run xdotool xauth; do
        command -v "$tool" >/dev/null || e2e_fail "$tool is not installed (scripts/setup.sh installs it)"
    done
}

# Sets `work`, XDG_RUNTIME_DIR and the XDG data, config and cache homes
# inside it; COM1-96 lead nowhere there.
e2e_sandbox() {
    work=$(mktemp -d)
    chmod 700 "$work"
    export XDG_RUNTIME_DIR=$work
    # The utility's journal and anything else it keeps stay in here too.
    export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
    mkdir -m 700 "$work/quvo-ports"
    for n in $(seq 1 96); do
        ln -s "$work/masked-COM$n" "$work/quvo-ports/COM$n"
    done
    emu=
    trap e2e_cleanup EXIT
}

e2e_cleanup() {
    if [ -n "${emu:-}" ]; then
        kill "$emu" 2>/dev/null || true
        wait "$emu" 2>/dev/null || true
    fi
    rm -rf "$work"
}

# e2e_start_emulator EMULATOR COM [options...]: publishes it at COM, logging
# every command to $work/commands.log.
e2e_start_emulator() {
    local emulator=$1 com=$2
    shift 2
    "$emulator" --com "$com" --log "$work/commands.log" --ready-file "$work/ready" "$@" \
        >"$work/emulator.out" 2>&1 &
    emu=$!
    for _ in $(seq 1 100); do
        [ -f "$work/ready" ] && return 0
        sleep 0.1
    done
    cat "$work/emulator.out" >&2
    e2e_fail "the emulator did not publish COM$com"
}

# The commands of the log, one a line ("<time> COM<n> > <command>" in the
# log; replies are marked "<", faults "!").
e2e_commands() { sed -n 's/^[^ ]* [^ ]* > //p' "$work/commands.log" 2>/dev/null || true; }

e2e_full_read_commands() {
    echo QVQ
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRP$c"; done
    for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do echo "QVRC$c"; done
    for k in 1 2 3 4 5 6; do echo "QVRO$k"; done
    printf '%s\n' QVROA QVROB QVROC QVRON QVREA QVREC QVC
}

e2e_show_log() {
    echo "--- emulator log" >&2
    cat "$work/commands.log" >&2 || true
    echo "--- utility output" >&2
    cat "$work/utility.out" >&2 2>/dev/null || true
}

# Inside the X server: starts the utility, ended with the script, sets `wid`
# to its window and clicks 接続 (ConBtn spans x 8..81, y 3..28 of the client area).
e2e_start_and_connect() {
    export QT_QPA_PLATFORM=xcb
    "$1" >"$work/utility.out" 2>&1 &
    app=$!
    trap 'kill "$app" 2>/dev/null || true; wait "$app" 2>/dev/null || true' EXIT
    wid=$(e2e_main_window)
    xdotool mousemove --window "$wid" 40 15 click 1
}

# Inside the X server: the window of the utility, once it is painted (mapped
# is not yet painted). `shooter` is the screenshot tool.
e2e_main_window() {
    local wid
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name '^QUVO-Vexa UtilitySoftware$' | head -n1 || true)
    [ -n "$wid" ] || e2e_fail "no window titled QUVO-Vexa UtilitySoftware appeared"
    "$shooter" --settled "$work/painted.png" "$wid" || e2e_fail "the window was not painted"
    echo "$wid"
}

# Inside the X server: clicks at X Y of window WID and waits until the window
# shows the effect and holds still; its picture before is kept in FILE.
e2e_click_and_settle() {
    local wid=$1 x=$2 y=$3 file=$4
    "$shooter" --settled "$file" "$wid" || e2e_fail "the window did not hold still"
    xdotool mousemove --window "$wid" "$x" "$y" click 1
    "$shooter" --unlike "$file" "$file" "$wid" || e2e_fail "a click at $x $y changed nothing"
}
