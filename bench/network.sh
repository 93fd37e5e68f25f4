#!/usr/bin/env bash
# Lines on another machine, played by Debian's ser2net on 127.0.0.1 in front
# of the virtual module at the line's real speed: lumaveractl read raw and
# with RFC 2217 beside read on the very pseudo-terminal ser2net serves, and
# the station with four remote cables beside four local ones.
#   bench/network.sh BUILD-DIR [ROUNDS]
set -euo pipefail
build="$1"
rounds="${2:-20}"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" XDG_STATE_HOME="$work/state"
module="$build/tools/virtual-module/lumavera-virtual-module"
ctl="$build/lumaveractl"
ser2net="$(command -v ser2net || echo /usr/sbin/ser2net)"
source "$(dirname "$0")/timing.sh"

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
listening() { grep -qi " 0100007F:$(printf '%04X' "$1") 00000000:0000 0A " /proc/net/tcp; }
# Serves LINK's device with ACCEPTER (tcp, or telnet(rfc2217),tcp); the port in $served.
serve() {
    served="$(free_port)"
    "$ser2net" -n -u -Y "connection: &l$served#  accepter: $2,127.0.0.1,$served#  connector: serialdev,$(readlink -f "$1"),9600n81,local" \
        </dev/null >/dev/null 2>&1 &
    until listening "$served"; do sleep 0.01; done
}
start_module() {
    "$module" --link "$1" "${@:2}" >/dev/null 2>&1 &
    until [ -L "$1" ]; do sleep 0.01; done
}

start_module "$work/line"
serve "$work/line" tcp; raw=$served
serve "$work/line" 'telnet(rfc2217),tcp'; telnet=$served
"$ctl" --port "$work/line" backup "$work/golden.ini" >/dev/null
local_read=$(median_ms "$ctl" --port "$work/line" read)
raw_read=$(median_ms "$ctl" --port "socket://127.0.0.1:$raw" read)
telnet_read=$(median_ms "$ctl" --port "rfc2217://127.0.0.1:$telnet" read)

# From the station's start to the fourth PASS, four modules on cables at
# start (--cable), each on its own line; best of three.
station_ms() {
    local best="" args=()
    for port in "$@"; do args+=(--port "$port"); done
    for _ in 1 2 3; do
        local t0 t1 st
        t0=$(date +%s%N)
        "$ctl" station "$work/golden.ini" --cable "${args[@]}" >"$work/out" 2>/dev/null &
        st=$!
        until [ "$(grep -c ' PASS ' "$work/out")" -ge 4 ]; do sleep 0.005; done
        t1=$(date +%s%N)
        # A module that passed stays on its cable: the second Ctrl+C ends it.
        kill -INT "$st"; sleep 0.3; kill -INT "$st" 2>/dev/null || true; wait "$st" 2>/dev/null || true
        local ms=$(((t1 - t0) / 1000000))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}
cables=() remote=()
for n in 1 2 3 4; do
    start_module "$work/cable$n"
    cables+=("$work/cable$n")
    serve "$work/cable$n" 'telnet(rfc2217),tcp'
    remote+=("rfc2217://127.0.0.1:$served")
done
local_station=$(station_ms "${cables[@]}")
remote_station=$(station_ms "${remote[@]}")

echo "lumaveractl over ser2net on 127.0.0.1, module at 9600 baud ($rounds rounds, median wall time)"
printf '%-52s %8s ms\n' "read on the pseudo-terminal ser2net serves" "$local_read"
printf '%-52s %8s ms  (%sx the pseudo-terminal)\n' "read over socket:// (raw TCP)" "$raw_read" \
    "$(ratio "$raw_read" "$local_read")"
printf '%-52s %8s ms  (%sx the pseudo-terminal)\n' "read over rfc2217:// (telnet, line set first)" \
    "$telnet_read" "$(ratio "$telnet_read" "$local_read")"
printf '%-52s %8s ms\n' "station, four local cables, start to fourth PASS" "$local_station"
printf '%-52s %8s ms  (%sx local)\n' "station, four remote cables (rfc2217://)" "$remote_station" \
    "$(ratio "$remote_station" "$local_station")"
