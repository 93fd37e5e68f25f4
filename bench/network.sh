#!/usr/bin/env bash
# Lines on another machine, played by Debian's ser2net on 127.0.0.1 in front
# of the virtual module at the line's real speed: lumaveractl read raw and
# with RFC 2217 beside read on the very pseudo-terminal ser2net serves, and
# the station with four remote cables beside four local ones; a second
# Ctrl+C to the station waiting on a silent server, to its exit; the peak
# memory of a read against a server that floods it, beside one against a
# silent server, over LUMAVERA_BENCH_FLOOD seconds (20).
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

# Servers that accept and then never speak, or send zeros without end.
listen_as() {
    python3 -c '
import socket, sys, threading
listener = socket.socket(); listener.bind(("127.0.0.1", 0)); listener.listen(8)
print(listener.getsockname()[1], flush=True)
def serve(c):
    try:
        while True:
            if sys.argv[1] == "flood": c.sendall(bytes(65536))
            elif not c.recv(65536): break
    except OSError: pass
while True:
    c, _ = listener.accept(); threading.Thread(target=serve, args=(c,), daemon=True).start()' "$1" >"$work/$1.port" &
    until [ -s "$work/$1.port" ]; do sleep 0.01; done
}
listen_as silent; silent=$(cat "$work/silent.port")
listen_as flood; flood=$(cat "$work/flood.port")

# The second Ctrl+C 0.2 s after the first, with the station waiting on the
# silent server's set-up (--timeout 20000); best of five.
second_stop_ms() {
    local best=""
    for _ in 1 2 3 4 5; do
        "$ctl" station "$work/golden.ini" --port "rfc2217://127.0.0.1:$silent" --timeout 20000 \
            >/dev/null 2>&1 &
        local st=$! t0 t1
        sleep 0.5; kill -INT "$st"; sleep 0.2
        t0=$(date +%s%N); kill -INT "$st"; wait "$st" 2>/dev/null || true; t1=$(date +%s%N)
        local ms=$(((t1 - t0) / 1000000))
        if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    done
    echo "$best"
}
second_stop=$(second_stop_ms)
# Peak resident memory (kB) of one read given SECONDS to set up its line.
peak_kb() {
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' \
        "$ctl" --timeout "$(($2 * 1000))" --port "rfc2217://127.0.0.1:$1" read
}
flood_s="${LUMAVERA_BENCH_FLOOD:-20}"
silent_kb=$(peak_kb "$silent" "$flood_s")
flood_kb=$(peak_kb "$flood" "$flood_s")

echo "lumaveractl over ser2net on 127.0.0.1, module at 9600 baud ($rounds rounds, median wall time)"
printf '%-52s %8s ms\n' "read on the pseudo-terminal ser2net serves" "$local_read"
printf '%-52s %8s ms  (%sx the pseudo-terminal)\n' "read over socket:// (raw TCP)" "$raw_read" \
    "$(ratio "$raw_read" "$local_read")"
printf '%-52s %8s ms  (%sx the pseudo-terminal)\n' "read over rfc2217:// (telnet, line set first)" \
    "$telnet_read" "$(ratio "$telnet_read" "$local_read")"
printf '%-52s %8s ms\n' "station, four local cables, start to fourth PASS" "$local_station"
printf '%-52s %8s ms  (%sx local)\n' "station, four remote cables (rfc2217://)" "$remote_station" \
    "$(ratio "$remote_station" "$local_station")"
printf '%-52s %8s ms  (goal: 100 ms or less)\n' "station's second Ctrl+C on a silent server, to exit" \
    "$second_stop"
printf '%-52s %8s kB\n' "peak memory, read against a silent server (${flood_s} s)" "$silent_kb"
printf '%-52s %8s kB  (%sx silent)\n' "peak memory, read against a flooding server (${flood_s} s)" \
    "$flood_kb" "$(ratio "$flood_kb" "$silent_kb")"
