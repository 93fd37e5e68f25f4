#!/usr/bin/env bash
# Pastes the README's command blocks as a newcomer would, in the order they
# stand: every block marked "<!-- the suite runs this -->" runs in a shell
# of its own from a folder laid out as the checkout is (build/ with the
# programs in it), with the programs on the path as the README says, and
# must exit 0. What the blocks name as hardware is played by the virtual
# module: /dev/ttyUSB0 and /dev/ttyUSB1 are modules in the folder, /tmp is
# the folder's own, and the demo's module is COM1 of build/demo/lumavera.ini
# as ./run leaves it.
#   readme-examples.sh BUILD README
set -euo pipefail
build="$(cd "$1" && pwd)"
readme="$2"
work="$(mktemp -d)"
cleanup() {
    pkill -f -- "--link $work/" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
mkdir -p build/tools/virtual-module build/demo tmp home run
chmod 700 run
ln -s "$build/lumaveractl" "$build/lumavera" build/
ln -s "$build/tools/virtual-module/lumavera-virtual-module" build/tools/virtual-module/
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_STATE_HOME="$work/home/state"
export XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=offscreen
unset LUMAVERA_SETTINGS
export PATH="$work/build:$work/build/tools/virtual-module:$PATH"

# Waits (up to 10 s) for a module started in the background to link its line.
wait_link() {
    for _ in $(seq 200); do
        [ -L "$1" ] && return 0
        sleep 0.05
    done
    echo "the virtual module at $1 did not come up" >&2
    return 1
}
module() {
    lumavera-virtual-module --link "$1" >/dev/null 2>&1 &
    wait_link "$1"
}
module "$work/build/demo/module"
lumaveractl --settings build/demo/lumavera.ini pin COM1 "$work/build/demo/module" >/dev/null
module "$work/ttyUSB0"
module "$work/ttyUSB1"

# Each marked block, hardware and /tmp mapped into the folder, and a wait
# for the line of each module it starts in the background, as a person
# waits for it before typing on.
blocks="$(awk -v work="$work" '
    /<!-- the suite runs this -->/ { marked = 1; next }
    marked && /^    / {
        line = substr($0, 5)
        gsub("/dev/ttyUSB", "\001", line)
        gsub("/tmp/", "\002", line)
        gsub("\001", work "/ttyUSB", line)
        gsub("\002", work "/tmp/", line)
        print line
        if (match(line, /--link [^ ]+/) && line ~ /&[ \t]*$/)
            print "wait_link " substr(line, RSTART + 7, RLENGTH - 7)
        inside = 1
        next
    }
    marked && inside && !/^    / && !/^$/ { print "\036"; marked = 0; inside = 0 }
' "$readme")"
count=0
failed=0
while IFS= read -r -d $'\036' block; do
    block="${block#$'\n'}"
    [ -n "$block" ] || continue
    count=$((count + 1))
    # What it prints goes to a file: a module it leaves in the background
    # holds its output open.
    if ! (export -f wait_link; bash -e -o pipefail -c "$block") > printed 2>&1 < /dev/null; then
        failed=$((failed + 1))
        printf 'This README block failed:\n%s\n--- it printed:\n%s\n\n' "$block" "$(cat printed)"
    fi
done <<<"$blocks"$'\036'
[ "$count" -gt 0 ] || { echo "no block of $readme is marked to run" >&2; exit 1; }
echo "$((count - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
