#!/usr/bin/env bash
# Gives a serial device a COM number for quvo-utility by a link in the port
# directory ($XDG_RUNTIME_DIR/quvo-ports, or /tmp/quvo-ports-<uid>).
#
#   publish-port.sh N DEVICE   COM N is DEVICE (replaces what N was)
#   publish-port.sh -x N       hide COM N (the utility skips it)
#   publish-port.sh -r N       remove the link: COM N is the built-in device again
#   publish-port.sh -l         list the links
#
# Run the utility with the same XDG_RUNTIME_DIR as this script. The device
# is linked by the name given, so a stable /dev/serial/by-id/... name keeps
# meaning the same adapter whatever order the adapters come up in.
#
# The package installs it as quvo-publish-port; it names itself as called.
set -euo pipefail
me=${0##*/}

if [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    dir=$XDG_RUNTIME_DIR/quvo-ports
else
    dir=/tmp/quvo-ports-$(id -u)
fi

usage() {
    sed -n "5,8{s/^#  *//;s/publish-port\.sh/$me/;p}" "$0" >&2
    exit 2
}

# The directory is made 0700 for this user; one of another user's, a link in
# its place, or one others may write to is refused, since the utility ignores
# it: whoever can add a link there could stand in for the controller.
own_directory() {
    [ -L "$dir" ] || [ -e "$dir" ] || mkdir -p -m 700 "$dir"
    if [ -L "$dir" ] || [ ! -d "$dir" ]; then
        echo "$me: $dir is not a directory; remove it first" >&2
        exit 1
    fi
    if [ "$(stat -c %u "$dir")" != "$(id -u)" ]; then
        echo "$me: $dir belongs to $(stat -c %U "$dir"), not to you; refusing to use it" >&2
        exit 1
    fi
    if [ $(( 0$(stat -c %a "$dir") & 022 )) -ne 0 ]; then
        echo "$me: others may write to $dir; check its links, then chmod 700 $dir" >&2
        exit 1
    fi
}

number() {
    [[ "${1:-}" =~ ^[1-9][0-9]{0,2}$ ]] && [ "$1" -le 255 ] || {
        echo "$me: the COM number must be 1 to 255 without leading zeros" >&2
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
    own_directory
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
        echo "$me: $2 is not a character device" >&2
        exit 1
    fi
    case "$2" in
    /*) device=$2 ;;
    *) device=$PWD/$2 ;;
    esac
    if [ ! -r "$device" ] || [ ! -w "$device" ]; then
        echo "$me: warning: you cannot open $device for reading and writing;" \
             "join the dialout group (sudo usermod -aG dialout \$USER), then log out and in" >&2
    fi
    own_directory
    ln -sfn "$device" "$dir/COM$1"
    echo "COM$1 -> $device"
    ;;
esac
