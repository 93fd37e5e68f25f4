#!/usr/bin/env bash
# lumaveractl as whole processes against the virtual module, side by side
# with the shell's floor for the same five bytes (stty + printf).
#   bench/ctl.sh BUILD-DIR [ROUNDS]
set -euo pipefail
build="$1"
rounds="${2:-20}"
work="$(mktemp -d)"
trap 'kill "$module" 2>/dev/null; wait "$module" 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
"$build/tools/virtual-module/lumavera-virtual-module" --link "$work/module" >"$work/module.log" &
module=$!
for _ in $(seq 50); do [ -L "$work/module" ] && break; sleep 0.1; done
ctl="$build/lumaveractl"

# Median of a command's wall time over the rounds, in milliseconds.
median_ms() {
    local times=()
    for _ in $(seq "$rounds"); do
        local t0 t1
        t0=$(date +%s%N)
        "$@" >/dev/null
        t1=$(date +%s%N)
        times+=($(((t1 - t0) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}

shell_floor() {
    stty -F "$work/module" 9600 cs8 -parenb -cstopb raw -echo
    printf '\xff\x01\x01\x02\x03' >"$work/module"
}

"$ctl" --port "$work/module" store 1 1 2 3 >/dev/null
"$ctl" --port "$work/module" backup "$work/module.ini" >/dev/null
floor=$(median_ms shell_floor)
colour=$(median_ms "$ctl" --port "$work/module" color 1 2 3)
read=$(median_ms "$ctl" --port "$work/module" read)
restore=$(median_ms "$ctl" --port "$work/module" restore "$work/module.ini")
printf 'lumaveractl against the virtual module (%d rounds, median wall time)\n' "$rounds"
printf '%-48s %8s ms\n' "stty + printf, the same five bytes" "$floor"
printf '%-48s %8s ms  (%.1fx the shell)\n' "lumaveractl color" "$colour" \
    "$(awk -v a="$colour" -v b="$floor" 'BEGIN {print a / b}')"
printf '%-48s %8s ms\n' "lumaveractl read" "$read"
printf '%-48s %8s ms\n' "lumaveractl restore (13 frames, 50 ms gaps, verify)" "$restore"
