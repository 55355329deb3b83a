#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks what a technician
# gets: exactly the expected files, a Depends line computed by dpkg-shlibdeps,
# a desktop entry and metainfo the validators accept and that name each
# other and the icon, man pages that open and give exactly the options the
# programs take, example timer units that systemd accepts and whose command
# the installed utility runs, PNGs of the sizes their folders claim, a machine-readable
# copyright file and a change log of this version,
# programs that answer --version with the package's version and, from a tree
# configured for the package, are built with Debian's hardening.
#
# usage: package_deb.sh BUILD-DIR [--hardened]
set -euo pipefail
build=$1
hardened=${2:-}
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate appstreamcli readelf nm man systemd-analyze; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh --packaging installs it)"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/out/quvo-utility_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6sql6 libqt6charts6 \
           libqt6sql6-sqlite libstdc++6; do
    [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends lacks a computed $lib (>= ...)"
done

sizes=(16 22 24 32 48 64 128 256 512)
{
    echo ./usr/bin/quvo-emulator
    echo ./usr/bin/quvo-publish-port
    echo ./usr/bin/quvo-utility
    echo ./usr/share/applications/org.quvo.utility.desktop
    echo ./usr/share/doc/quvo-utility/changelog.gz
    echo ./usr/share/doc/quvo-utility/copyright
    echo ./usr/share/doc/quvo-utility/examples/quvo-read.service
    echo ./usr/share/doc/quvo-utility/examples/quvo-read.timer
    for s in "${sizes[@]}"; do echo "./usr/share/icons/hicolor/${s}x${s}/apps/quvo-utility.png"; done
    echo ./usr/share/icons/hicolor/scalable/apps/quvo-utility.svg
    echo ./usr/share/man/man1/quvo-emulator.1.gz
    echo ./usr/share/man/man1/quvo-publish-port.1.gz
    echo ./usr/share/man/man1/quvo-utility.1.gz
    echo ./usr/share/metainfo/org.quvo.utility.metainfo.xml
    echo ./usr/share/quvo-emulator/scenarios/demo.json
    echo ./usr/share/quvo-emulator/scenarios/faulty-line.json
} | sort >"$work/expected"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$work/files"
diff "$work/expected" "$work/files" || fail "the package's files differ from the expected list (< expected, > packaged)"

root=$work/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
desktop-file-validate "$share/applications/org.quvo.utility.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --strict "$share/metainfo/org.quvo.utility.metainfo.xml" || fail "appstreamcli validate"
grep -q '<launchable type="desktop-id">org.quvo.utility.desktop</launchable>' "$share/metainfo/org.quvo.utility.metainfo.xml" \
    || fail "the metainfo does not launch the installed desktop entry"
grep -q "<release version=\"$version\"" "$share/metainfo/org.quvo.utility.metainfo.xml" \
    || fail "the metainfo's release is not $version"
grep -qx 'Icon=quvo-utility' "$share/applications/org.quvo.utility.desktop" || fail "the desktop entry's icon"
grep -qx 'Exec=quvo-utility' "$share/applications/org.quvo.utility.desktop" || fail "the desktop entry's command"
for s in "${sizes[@]}"; do
    file "$share/icons/hicolor/${s}x${s}/apps/quvo-utility.png" | grep -q "PNG image data, $s x $s," \
        || fail "the ${s}x${s} icon is not a $s x $s PNG"
done
for page in quvo-utility quvo-emulator quvo-publish-port; do
    grep -q "^\.TH ${page^^} 1 " <<<"$(zcat "$share/man/man1/$page.1.gz")" || fail "man page $page"
done
# Each Japanese word of a manual page comes with its romanised name: a C
# locale, which cannot show kanji, gets that alone and no troff warning; a
# UTF-8 locale gets both, as the page's coding line tells man.
while read -r page word romanised; do
    for locale in C C.UTF-8; do
        shown=$(LC_ALL=$locale MANWIDTH=80 man -l "$share/man/man1/$page.1.gz" 2>"$work/man.err") \
            || fail "man -l $page in $locale"
        if grep -q "can't find special character" "$work/man.err"; then
            cat "$work/man.err" >&2
            fail "man page $page in $locale drops characters"
        fi
        expected=$romanised
        [ "$locale" = C ] || expected="$word ($romanised)"
        grep -qF -- "$expected" <<<"$shown" || fail "man page $page in $locale does not show \"$expected\""
    done
done <<'PAGES'
quvo-utility 接続 setsuzoku
quvo-utility 履歴 rireki
quvo-emulator 接続 setsuzoku
PAGES

# The options each program's --help prints are those its manual page gives
# an entry under OPTIONS, both ways; the utility's synopsis names each of
# them, so that neither can drift from the program again.
printed_options() {   # PROGRAM
    local help
    help=$("$root/usr/bin/$1" --help)
    grep -oE '^  (-[[:alpha:]], )?--[a-z][a-z-]*' <<<"$help" | grep -oE -- '--[a-z-]+' | sort -u
}
page_options() {   # PROGRAM SECTION [all]: the entries of SECTION, or every option it names
    zcat "$share/man/man1/$1.1.gz" | awk -v s="$2" '/^\.SH / {on = ($2 == s)} on' |
        awk -v all="${3:-}" 'all || tp {print} {tp = /^\.TP/}' |
        grep -oE '\\-\\-[a-z]+(\\-[a-z]+)*' | sed 's/\\-/-/g' | sort -u
}
for program in quvo-utility quvo-emulator; do
    printed=$(printed_options "$program")
    [ -n "$printed" ] || fail "$program --help prints no options"
    diff <(echo "$printed") <(page_options "$program" OPTIONS) >&2 \
        || fail "the options $program --help prints (<) differ from those its manual page's OPTIONS give (>)"
done
unnamed=$(comm -23 <(printed_options quvo-utility) <(page_options quvo-utility SYNOPSIS all))
[ -z "$unnamed" ] || fail "the utility's manual page's synopsis lacks" $unnamed

doc=$share/doc/quvo-utility
head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "the copyright file is not in the machine-readable format"
grep -q '^Files: \*$' "$doc/copyright" && grep -q '^License: ' "$doc/copyright" || fail "the copyright file has no Files: * stanza with its License"
zcat "$doc/changelog.gz" | head -n1 | grep -q "^quvo-utility ($version) " || fail "the change log does not begin with version $version"

# Debian's hardening: stack protector, fortified calls, read-only relocations
# bound at start, a position-independent executable.
for program in quvo-utility quvo-emulator; do
    [ "$hardened" = --hardened ] || break
    bin=$root/usr/bin/$program
    # Each listing is read whole first: grep -q leaving early would cut the
    # lister off with SIGPIPE, which pipefail reports as a missing flag.
    symbols=$(nm -D "$bin")
    grep -q ' U __stack_chk_fail' <<<"$symbols" || fail "$program: no stack protector"
    grep -q ' U __[a-z]*_chk@' <<<"$symbols" || fail "$program: no fortified calls"
    grep -q GNU_RELRO <<<"$(readelf -lW "$bin")" || fail "$program: no RELRO"
    grep -q 'FLAGS.*BIND_NOW\|FLAGS_1.*NOW' <<<"$(readelf -dW "$bin")" || fail "$program: not bound now"
    grep -q 'Type: *DYN' <<<"$(readelf -hW "$bin")" || fail "$program: not position-independent"
done

# The example units as an office copies them: systemd takes them without a
# word (a misspelt key is only a warning), and the service's command is one
# the installed utility runs. In a runtime directory where COM1-96 lead
# nowhere it finds no controller: exit 2, nothing in the folder; a missing
# folder is exit 1 before any port.
examples=$doc/examples
units=$work/units
mkdir -p "$units" "$work/home/dex"
mkdir -m 700 "$work/unit-runtime" "$work/unit-runtime/quvo-ports"
exec_start=$(sed -n 's/^ExecStart=//p' "$examples/quvo-read.service")
[[ "$exec_start" == /usr/bin/quvo-utility\ * ]] || fail "the example service does not start /usr/bin/quvo-utility: $exec_start"
sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$examples/quvo-read.service" >"$units/quvo-read.service"
cp "$examples/quvo-read.timer" "$units/"
XDG_RUNTIME_DIR=$work/unit-runtime systemd-analyze verify --user "$units/quvo-read.service" "$units/quvo-read.timer" \
    >"$work/verify.out" 2>&1 || { cat "$work/verify.out" >&2; fail "systemd-analyze verify of the example units"; }
[ ! -s "$work/verify.out" ] || { cat "$work/verify.out" >&2; fail "systemd-analyze has words for the example units"; }
for n in $(seq 1 96); do ln -s "$work/unit-runtime/masked-COM$n" "$work/unit-runtime/quvo-ports/COM$n"; done
run_example() {   # HOME: the service's command as systemd gives it, %h being HOME
    local command=${exec_start//%h/$1}
    # shellcheck disable=SC2086 # the command line splits at blanks, as systemd splits it
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=$work/unit-runtime XDG_DATA_HOME=$work/home/data \
        "$root${command%% *}" ${command#* } >"$work/example.out" 2>"$work/example.err"
}
status=0
run_example "$work/home" || status=$?
[ "$status" = 2 ] && grep -q 'no QUVO answered' "$work/example.err" \
    || fail "the example service's command without a controller: exit $status, $(cat "$work/example.err")"
[ -z "$(ls -A "$work/home/dex")" ] || fail "the example service's command left a file without a controller"
status=0
run_example "$work/nobody" || status=$?
[ "$status" = 1 ] && grep -q 'no such folder' "$work/example.err" \
    || fail "the example service's command into a missing folder: exit $status, $(cat "$work/example.err")"

[ "$("$root/usr/bin/quvo-utility" --version)" = "quvo-utility $version" ] || fail "quvo-utility --version"
[ "$("$root/usr/bin/quvo-emulator" --version)" = "quvo-emulator $version" ] || fail "quvo-emulator --version"
# The help names where the scenarios are installed, relative to the program.
help=$("$root/usr/bin/quvo-emulator" --help)
grep -qxF "  installed:   $share/quvo-emulator/scenarios" <<<"$help" \
    || fail "quvo-emulator --help does not name the installed scenarios"
grep -q 'man quvo-emulator' <<<"$help" || fail "quvo-emulator --help does not point to its manual page"
# The manual page holds every scenario key and fault kind the help names.
page=$(zcat "$share/man/man1/quvo-emulator.1.gz")
for key in version statusFlags prices counts salesTotal refundTotal earnValueC coinReplyValue coinReplyTail \
           options receipt id tubes inputs writeMode reconciliationCounter restartMs simulateSales faults \
           command skip times; do
    grep '^\.B' <<<"$page" | grep -qw -- "$key" || fail "the emulator's manual page lacks the scenario key $key"
done
for kind in $("$root/usr/bin/quvo-emulator" --help | sed -n '/^Faults/,/^$/p' | awk 'NR > 1 && NF {print $1}'); do
    grep '^\.B' <<<"$page" | grep -qwF -- "${kind//-/\\-}" || fail "the emulator's manual page lacks the fault kind $kind"
done
# The port tool as installed: executable, naming itself, working in a
# runtime directory of its own, every option its usage gives in its manual
# page.
publish=$root/usr/bin/quvo-publish-port
[ -x "$publish" ] || fail "quvo-publish-port is not executable"
if usage=$("$publish" 2>&1); then fail "quvo-publish-port without arguments succeeded"; fi
grep -q '^quvo-publish-port -x N ' <<<"$usage" || fail "quvo-publish-port's usage: $usage"
listed=$(grep -oE '^quvo-publish-port -[a-z]' <<<"$usage" | awk '{print $2}' | sort -u)
documented=$(zcat "$share/man/man1/quvo-publish-port.1.gz" | awk '/^\.SH / {on = ($2 == "OPTIONS")} on' |
             awk 'tp {print} {tp = /^\.TP/}' | grep -oE '^\.B[IR]? \\-[a-z]' | sed 's/.*\\-/-/' | sort -u)
[ -n "$listed" ] && [ "$listed" = "$documented" ] \
    || fail "quvo-publish-port's usage gives $(echo $listed), its manual page $(echo $documented)"
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR=$work/runtime "$publish" -x 7 >/dev/null || fail "quvo-publish-port -x 7"
[ "$(XDG_RUNTIME_DIR=$work/runtime "$publish" -l)" = "COM7 -> $work/runtime/quvo-ports/hidden-COM7 (hidden)" ] \
    || fail "quvo-publish-port -l after -x 7: $(XDG_RUNTIME_DIR=$work/runtime "$publish" -l)"
# An argument the utility does not take ends it before any window or port.
if QT_QPA_PLATFORM=offscreen "$root/usr/bin/quvo-utility" COM5 >/dev/null 2>&1; then
    fail "quvo-utility accepted an unknown argument"
fi
echo "ok: $(basename "$deb"), $(wc -l <"$work/files") files"
