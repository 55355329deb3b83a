#!/usr/bin/env bash
# Gives a serial device a COM number for quvo-utility by a link in the port
# directory ($XDG_RUNTIME_DIR/quvo-ports, or /tmp/quvo-ports-<uid>).
#
#   publish-port.sh N DEVICE   COM N is DEVICE (replaces what N was)
#   publish-port.sh -x N       hide COM N (the utility skips it)
#   publish-port.sh -r N       remove the link: COM N is the built-in device again
#   publish-port.sh -l         list the links
#
# Run the utility with the same XDG_RUNTIME_DIR as this script.
set -euo pipefail

if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    dir=$XDG_RUNTIME_DIR/quvo-ports
else
    dir=/tmp/quvo-ports-$(id -u)
fi

usage() {
    sed -n '5,8s/^#  *//p' "$0" >&2
    exit 2
}

number() {
    [[ "${1:-}" =~ ^[1-9][0-9]{0,2}$ ]] && [ "$1" -le 255 ] || {
        echo "publish-port.sh: the COM number must be 1 to 255 without leading zeros" >&2
        exit 2
    }
}

case "${1:-}" in
-l)
    shopt -s nullglob
    for link in "$dir"/COM*; do
        target=$(readlink "$link")
        if [ -e "$link" ]; then state=""; else state=" (hidden)"; fi
        echo "${link##*/} -> $target$state"
    done
    ;;
-r)
    number "${2:-}"
    rm -f "$dir/COM$2"
    echo "COM$2: link removed"
    ;;
-x)
    number "${2:-}"
    mkdir -p -m 700 "$dir"
    ln -sfn "$dir/hidden-COM$2" "$dir/COM$2"
    echo "COM$2: hidden"
    ;;
-*|"")
    usage
    ;;
*)
    [ $# -eq 2 ] || usage
    number "$1"
    if [ ! -c "$2" ]; then
        echo "publish-port.sh: $2 is not a character device" >&2
        exit 1
    fi
    device=$(readlink -f "$2")
    mkdir -p -m 700 "$dir"
    ln -sfn "$device" "$dir/COM$1"
    echo "COM$1 -> $device"
    ;;
esac
