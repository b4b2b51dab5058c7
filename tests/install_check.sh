#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what lands there: every file, the menu
# entry and AppStream data by their validators, the manual pages rendered without a warning and
# holding every option of --help, the bash completion, and (as root, through an unprivileged user)
# where an installed program keeps its settings and what a port the user may not open says.
#   tests/install_check.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
unit_pid=""
cleanup() {
    [ -z "$unit_pid" ] || kill "$unit_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
id=org.corvane.Corvane
for file in bin/corvane bin/corvane-unit share/applications/$id.desktop \
            share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
            share/metainfo/$id.metainfo.xml share/man/man1/corvane.1.gz \
            share/man/man1/corvane-unit.1.gz share/bash-completion/completions/corvane \
            share/bash-completion/completions/corvane-unit share/doc/corvane/copyright \
            share/doc/corvane/changelog.gz; do
    [ -s "$root/$file" ] || fail "not installed: $file"
done
[ -x "$root/bin/corvane" ] && [ -x "$root/bin/corvane-unit" ] || fail "programs not executable"
file "$root/share/icons/hicolor/48x48/apps/$id.png" | grep -q '48 x 48' || fail "the PNG is not 48 px"

desktop-file-validate "$root/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate"
version=$("$root/bin/corvane" --version)
[ "$version" = "$("$root/bin/corvane-unit" --version | sed 's/^corvane-unit/corvane/')" ] ||
    fail "the two programs' versions differ: $version"
grep -q "version=\"${version#corvane }\"" "$root/share/metainfo/$id.metainfo.xml" ||
    fail "metainfo lacks the release $version"

# Every option of --help is in the rendered page and in the completion.
for program in corvane corvane-unit; do
    page="$root/share/man/man1/$program.1.gz"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)
    options=$("$root/bin/$program" --help | grep -oE '^  (-[a-z], )?--[a-z-]+' | sed 's/.*--/--/')
    [ -n "$options" ] || fail "no options in $program --help"
    for option in $options; do
        grep -qe "$option" <<<"$text" || fail "$program.1 lacks $option"
        grep -qe "$option" "$root/share/bash-completion/completions/$program" ||
            fail "the completion of $program lacks $option"
    done
done
grep -q 'usermod -aG dialout' <(LC_ALL=C.UTF-8 man -l "$root/share/man/man1/corvane.1.gz" 2>/dev/null) ||
    fail "corvane.1 lacks the dialout hint"

# The completion, as bash runs it on Tab: options, then the port texts.
complete_words() {
    bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null || {
                 _init_completion() { cur=${COMP_WORDS[COMP_CWORD]}; prev=${COMP_WORDS[COMP_CWORD-1]}; }; }
             source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
             "$(complete -p "$1" | sed "s/.*-F \([^ ]*\) .*/\1/")" "$1"
             printf "%s\n" "${COMPREPLY[@]}"' _ "$@"
}
completions=$root/share/bash-completion/completions
[ "$(complete_words "$completions/corvane" corvane --ru)" = "--run" ] || fail "completing --ru"
ports=$(complete_words "$completions/corvane" corvane --port '')
grep -qx EMU <<<"$ports" || fail "EMU not among the ports: $ports"
for dev in /dev/ttyS0 /dev/ttyUSB0 /dev/ttyACM0; do
    [ ! -e "$dev" ] || grep -qx "$dev" <<<"$ports" || fail "$dev not among the ports"
done
[ "$(complete_words "$completions/corvane-unit" corvane-unit --fault s)" = "$(printf 'silent\nslow-pieces')" ] ||
    fail "completing --fault"

# As a user who may not write the program's folder (root may write anywhere: a real user is
# taken through setpriv).
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    echo "SKIP: the checks as another user need root and setpriv"
    [ "$failures" -eq 0 ] || exit 1
    exit 77
fi
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work/home" \
                      XDG_CONFIG_HOME= "$@"; }
chmod 755 "$work"
mkdir -p "$work/ro" "$work/own" "$work/home"
chown nobody "$work/own" "$work/home"
cp "$root/bin/corvane" "$work/ro/"
cp "$root/bin/corvane" "$work/own/"
user_ini="$work/home/.config/Corvane/Corvane.INI"
[ "$(as_nobody "$work/ro/corvane" --help | grep -A1 '^Settings file:')" = "Settings file: $user_ini" ] ||
    fail "read-only folder: not the user's settings: $(as_nobody "$work/ro/corvane" --help | tail -2)"
printf 'EMU\r\n' >"$work/ro/Corvane.INI"
expected="Settings file: $user_ini
  (read from $work/ro/Corvane.INI until the settings are first saved)"
[ "$(as_nobody "$work/ro/corvane" --help | grep -A1 '^Settings file:')" = "$expected" ] ||
    fail "read-only folder with a Corvane.INI: $(as_nobody "$work/ro/corvane" --help | tail -2)"
[ "$(as_nobody "$work/own/corvane" --help | tail -1)" = "Settings file: $work/own/Corvane.INI" ] ||
    fail "a folder of the program's own: $(as_nobody "$work/own/corvane" --help | tail -1)"

# A port this user may not open: the log line says how to get access, and the run ends with 3.
"$root/bin/corvane-unit" >"$work/unit.txt" &
unit_pid=$!
for _ in $(seq 50); do [ -s "$work/unit.txt" ] && break; sleep 0.1; done
pty=$(head -n 1 "$work/unit.txt")
chmod 600 "$pty"
printf 'C\r\n' >"$work/home/run.txt"
status=0
out=$(as_nobody "$root/bin/corvane" --run "$work/home/run.txt" --port "$pty" --speed 9600 \
          --settings "$work/ro/Corvane.INI" --no-journal) || status=$?
[ "$status" -eq 3 ] || fail "a forbidden port ended with $status, not 3"
grep -qF "！通信ポートを開けません。（$pty）" <<<"$out" && grep -qF \
    "（dialout グループに入ると使えます: sudo usermod -aG dialout \$USER）" <<<"$out" ||
    fail "a forbidden port's log line: $out"

[ "$failures" -eq 0 ] && echo "install check passed"
[ "$failures" -eq 0 ]
