#!/usr/bin/env bash
# lumaveractl station against the virtual module at the line's real speed:
# the time to set up one module, and four and eight plugged in at once; the
# time from a module put on a fixed cable to its PASS (--cable), beside the
# same set-up on a device node that appears.
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
"$ctl" --port "$work/golden" backup "$work/golden.ini" >/dev/null
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
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# One run of N modules present at start, named one --port each: the wall
# time to the last line, the station's peak memory (VmHWM) and the most
# threads it had at once.
station_scale() {
    local n="$1" ports=() threads=0 vms=() group
    # A virtual module plays at most 32: a group of links each.
    for group in $(seq 0 $(((n - 1) / 32))); do
        local count=$((n - group * 32 < 32 ? n - group * 32 : 32))
        rm -rf "$work/ids$group"
        "$module" --link "$work/ids$group" --count "$count" >/dev/null &
        vms+=($!)
        for _ in $(seq 100); do [ -L "$work/ids$group/module-$count" ] && break; sleep 0.1; done
        for i in $(seq "$count"); do ports+=(--port "$work/ids$group/module-$i"); done
    done
    local t0 t1
    t0=$(date +%s%N)
    "$ctl" station "$work/golden.ini" "${ports[@]}" >"$work/out" 2>/dev/null &
    local st=$!
    until [ "$(grep -c ' PASS \| FAIL ' "$work/out")" -ge "$n" ]; do
        local now
        now=$(awk '/^Threads:/ {print $2}' "/proc/$st/status" 2>/dev/null || echo 0)
        [ "${now:-0}" -gt "$threads" ] && threads=$now
        sleep 0.01
    done
    t1=$(date +%s%N)
    local rss
    rss=$(awk '/^VmHWM:/ {print $2}' "/proc/$st/status")
    kill -INT "$st"
    wait "$st" 2>/dev/null || true
    kill "${vms[@]}"
    wait "${vms[@]}" 2>/dev/null || true
    echo "$(((t1 - t0) / 1000000)) $((rss / 1024)) $threads"
}

# From a device node appearing (a module plugged in) to its PASS.
appear_ms() {
    rm -rf "$work/ids" && mkdir -p "$work/ids"
    LUMAVERA_SERIAL_BY_ID="$work/ids" "$ctl" station "$work/golden.ini" >"$work/out" 2>"$work/err" &
    local st=$!
    until grep -q waiting "$work/err"; do sleep 0.005; done
    "$module" --link "$work/ids/module" >/dev/null &
    local vm=$!
    until [ -L "$work/ids/module" ]; do sleep 0.002; done
    local t0 t1
    t0=$(now_ms)
    until grep -q ' PASS ' "$work/out"; do sleep 0.005; done
    t1=$(now_ms)
    kill -INT "$st"; wait "$st" 2>/dev/null || true
    kill "$vm"; wait "$vm" 2>/dev/null || true
    echo $((t1 - t0))
}

# From a module put on a cable the station watches (--cable) to its PASS: the
# module is on at start, taken off after 2 s and put back 1.5 s later.
cable_ms() {
    "$module" --link "$work/cable" --attach 2000:1500 >"$work/cable.log" &
    local vm=$!
    until [ -L "$work/cable" ]; do sleep 0.01; done
    "$ctl" station "$work/golden.ini" --port "$work/cable" --cable >"$work/out" 2>/dev/null &
    local st=$!
    until grep -q '^attached' "$work/cable.log"; do sleep 0.002; done
    local t0 t1
    t0=$(now_ms)
    until [ "$(grep -c ' PASS ' "$work/out")" -ge 2 ]; do sleep 0.005; done
    t1=$(now_ms)
    kill -INT "$st"; wait "$st" 2>/dev/null || true
    kill "$vm"; wait "$vm" 2>/dev/null || true
    echo $((t1 - t0))
}

appeared=$(appear_ms)
cabled=$(cable_ms)
one=$(station_ms 1)
four=$(station_ms 4)
eight=$(station_ms 8)
echo "lumaveractl station, modules at 9600 baud, 50 ms gaps (best of 3, start to last line)"
printf '%-52s %8s ms\n' "one module" "$one"
printf '%-52s %8s ms  (%sx one)\n' "four at once" "$four" \
    "$(awk -v a="$four" -v b="$one" 'BEGIN {printf "%.2f", a / b}')"
printf '%-52s %8s ms  (%sx one; goal 1.3)\n' "eight at once" "$eight" \
    "$(awk -v a="$eight" -v b="$one" 'BEGIN {printf "%.2f", a / b}')"
printf '%-52s %8s ms\n' "one module, its device node appears" "$appeared"
printf '%-52s %8s ms  (+%s ms; goal at most +600)\n' "one module put on a fixed cable (--cable)" \
    "$cabled" "$((cabled - appeared))"
echo
echo "lumaveractl station, N modules named by --port at start, to the last line"
read -r base _ _ < <(station_scale 1)
for n in 1 8 32 64; do
    read -r ms mb threads < <(station_scale "$n")
    printf '%-52s %8s ms  (%sx one; goal 2.5 at 64)  %3s MB peak  %3s threads\n' \
        "$n port(s)" "$ms" "$(awk -v a="$ms" -v b="$base" 'BEGIN {printf "%.2f", a / b}')" \
        "$mb" "$threads"
done
