#!/usr/bin/env bash
# lumaveractl station against the virtual module at the line's real speed:
# the time to set up one module, and four and eight plugged in at once.
#   bench/station.sh BUILD-DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work"
module="$build/tools/virtual-module/lumavera-virtual-module"
ctl="$build/lumaveractl"

# A configuration to set up from: a module's own backup.
"$module" --link "$work/golden" >/dev/null &
golden=$!
for _ in $(seq 50); do [ -L "$work/golden" ] && break; sleep 0.1; done
"$ctl" --port "$work/golden" mode 7 && "$ctl" --port "$work/golden" store 3 '#102030'
"$ctl" --port "$work/golden" backup "$work/golden.ini"
kill "$golden"

# Wall time from the station's start to the last of N lines, N modules
# present at start (--all), each set up in parallel; best of three.
station_ms() {
    local n="$1" best=""
    for _ in 1 2 3; do
        rm -rf "$work/ids"
        "$module" --link "$work/ids" --count "$n" >/dev/null &
        local vm=$!
        for _ in $(seq 50); do [ -L "$work/ids/module-$n" ] && break; sleep 0.1; done
        local t0 t1
        t0=$(date +%s%N)
        LUMAVERA_SERIAL_BY_ID="$work/ids" "$ctl" station "$work/golden.ini" --all \
            >"$work/out" 2>/dev/null &
        local st=$!
        until [ "$(grep -c ' PASS \| FAIL ' "$work/out")" -ge "$n" ]; do sleep 0.005; done
        t1=$(date +%s%N)
        kill -INT "$st"
        wait "$st" 2>/dev/null || true
        kill "$vm"
        wait "$vm" 2>/dev/null || true
        local ms=$(((t1 - t0) / 1000000))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}
one=$(station_ms 1)
four=$(station_ms 4)
eight=$(station_ms 8)
echo "lumaveractl station, modules at 9600 baud, 50 ms gaps (best of 3, start to last line)"
printf '%-52s %8s ms\n' "one module" "$one"
printf '%-52s %8s ms  (%sx one)\n' "four at once" "$four" \
    "$(awk -v a="$four" -v b="$one" 'BEGIN {printf "%.2f", a / b}')"
printf '%-52s %8s ms  (%sx one; goal 1.3)\n' "eight at once" "$eight" \
    "$(awk -v a="$eight" -v b="$one" 'BEGIN {printf "%.2f", a / b}')"
