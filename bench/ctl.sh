#!/usr/bin/env bash
# lumaveractl as whole processes against the virtual module at the line's
# real speed, each figure beside its floor: the shell and a bare Qt Core
# program writing the same five bytes, the wire time of a read, and the same
# commands with 1,000 more processes on the machine.
#   bench/ctl.sh BUILD-DIR [ROUNDS]
set -euo pipefail
build="$1"
rounds="${2:-20}"
work="$(mktemp -d)"
sleepers=()
cleanup() {
    kill "$module" "${sleepers[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
"$build/tools/virtual-module/lumavera-virtual-module" --link "$work/module" >"$work/module.log" &
module=$!
for _ in $(seq 50); do [ -L "$work/module" ] && break; sleep 0.1; done
ctl="$build/lumaveractl"
bare="$build/bench/lumavera-bench-barewrite"

source "$(dirname "$0")/timing.sh"

shell_floor() {
    stty -F "$work/module" 9600 cs8 -parenb -cstopb raw -echo
    printf '\xff\x01\x01\x02\x03' >"$work/module"
}


# The bare writer and lumaveractl color in turn, round by round, so that the
# machine's moods fall on both alike; sets barewrite and colour.
writers_ms() {
    local bare_times=() colour_times=()
    for _ in $(seq "$rounds"); do
        local t0 t1 t2
        t0=$(date +%s%N)
        "$bare" "$work/module" >/dev/null
        t1=$(date +%s%N)
        "$ctl" --port "$work/module" color 1 2 3 >/dev/null
        t2=$(date +%s%N)
        bare_times+=($(((t1 - t0) / 1000)))
        colour_times+=($(((t2 - t1) / 1000)))
    done
    local median='{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
    barewrite=$(printf '%s\n' "${bare_times[@]}" | sort -n | awk "$median")
    colour=$(printf '%s\n' "${colour_times[@]}" | sort -n | awk "$median")
}

"$ctl" --port "$work/module" store 1 1 2 3 >/dev/null
"$ctl" --port "$work/module" backup "$work/module.ini" >/dev/null
# 5 bytes out and 35 back, ten bits each at 9600 baud.
wire=41.67
measure() {
    floor=$(median_ms shell_floor)
    writers_ms
    read=$(median_ms "$ctl" --port "$work/module" read)
}
measure
printf 'lumaveractl against the virtual module at 9600 baud (%d rounds, median wall time)\n' "$rounds"
printf '%-52s %8s ms\n' "stty + printf, the same five bytes" "$floor"
printf '%-52s %8s ms\n' "bare Qt Core program: open, write five bytes" "$barewrite"
printf '%-52s %8s ms  (%sx the bare Qt program; goal 1.2)\n' "lumaveractl color" "$colour" \
    "$(ratio "$colour" "$barewrite")"
printf '%-52s %8s ms  (%sx the %s ms on the wire; goal 1.15)\n' "lumaveractl read" "$read" \
    "$(ratio "$read" "$wire")" "$wire"
printf '%-52s %8s ms  (the bare Qt program plus the wire)\n' "  a process's floor for a read" \
    "$(awk -v a="$barewrite" -v b="$wire" 'BEGIN {printf "%.2f", a + b}')"
restore=$(median_ms "$ctl" --port "$work/module" restore "$work/module.ini")
printf '%-52s %8s ms\n' "lumaveractl restore (13 frames, 50 ms gaps, verify)" "$restore"

holders="$build/bench/lumavera-bench-holders"
quiet_look=$("$holders" "$work/module" "$rounds" | cut -d' ' -f1)
quiet_colour=$colour
quiet_read=$read
for _ in $(seq 1000); do
    sleep 600 &
    sleepers+=($!)
done
quiet_bare=$barewrite
measure
printf '%-52s %8s ms  (+%s ms on a quiet machine)\n' "bare Qt Core program, 1,000 more processes" \
    "$barewrite" "$(awk -v a="$barewrite" -v b="$quiet_bare" 'BEGIN {printf "%.2f", a - b}')"
printf '%-52s %8s ms  (+%s ms on a quiet machine)\n' "lumaveractl color, 1,000 more processes" \
    "$colour" "$(awk -v a="$colour" -v b="$quiet_colour" 'BEGIN {printf "%.2f", a - b}')"
printf '%-52s %8s ms  (+%s ms; goal at most +10)\n' "lumaveractl read, 1,000 more processes" \
    "$read" "$(awk -v a="$read" -v b="$quiet_read" 'BEGIN {printf "%.2f", a - b}')"
# The look through /proc for another program on the line, alone, on all
# cores and on one (the first figure is what an open waits for, less what
# the start-up hides); 1,000 more processes of this user, all of them looked
# into.
look=$("$holders" "$work/module" "$rounds" | cut -d' ' -f1)
one_core=$(taskset -c 0 "$holders" "$work/module" "$rounds" | cut -d' ' -f1)
printf '%-52s %8s ms  (%s ms on a quiet machine)\n' "the holder look alone, 1,000 more processes" \
    "$look" "$quiet_look"
printf '%-52s %8s ms\n' \
    "  the same on one core" "$one_core"
