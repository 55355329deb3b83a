#!/usr/bin/env bash
# publish-port.sh in a runtime directory of its own: the directory it makes is
# the user's and closed to others, the name given is linked as given (a stable
# by-id name is not resolved), and a directory others could fill is refused.
set -euo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work
dir=$work/quvo-ports
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/by-id"
ln -s /dev/null "$work/by-id/usb-Adapter_A1-if00"
"$script" 201 "$work/by-id/usb-Adapter_A1-if00" >/dev/null
[ "$(stat -c %a "$dir")" = 700 ] || fail "the port directory is $(stat -c %a "$dir"), not 700"
[ "$(readlink "$dir/COM201")" = "$work/by-id/usb-Adapter_A1-if00" ] || fail "the by-id name was resolved"
(cd "$work/by-id" && "$script" 202 usb-Adapter_A1-if00 >/dev/null)
[ "$(readlink "$dir/COM202")" = "$work/by-id/usb-Adapter_A1-if00" ] || fail "a relative name is not made absolute"

# refused: how the directory is set up | what the refusal says
refusals=("chmod 777 $dir|others may write")
[ "$(id -u)" = 0 ] && refusals+=("chmod 700 $dir; chown 65534 $dir|not to you")
for row in "${refusals[@]}"; do
    eval "${row%%|*}"
    if out=$("$script" 203 /dev/null 2>&1); then fail "accepted after: ${row%%|*}"; fi
    case "$out" in *"${row#*|}"*) ;; *) fail "after ${row%%|*}: $out" ;; esac
    [ ! -e "$dir/COM203" ] || fail "linked after: ${row%%|*}"
done
echo "publish-port.sh: ${#refusals[@]} refusals and the kept names checked"
