# Sourced by the transcripts.

# Runs COMMAND every 50 ms until it succeeds, STEPS times at most; says WHY
# when it never does.
#   poll STEPS WHY COMMAND [ARGS]
poll() {
    local steps="$1" why="$2"
    shift 2
    for _ in $(seq "$steps"); do
        "$@" && return 0
        sleep 0.05
    done
    echo "$why" >&2
    return 1
}

# Plays a module on a pseudo-terminal linked at NAME in the current folder,
# in the background, and waits (up to 10 s) for the link. Its pid is in
# $module; what it prints goes to ./BASENAME.log. What modules held before a
# restore is kept under ./state.
#   start_module NAME [virtual module options]
start_module() {
    local name="$1"
    shift
    lumavera-virtual-module --link "$name" "$@" < /dev/null > "$(basename "$name").log" 2>&1 &
    module=$!
    poll 200 "the virtual module did not come up" test -L "$name"
}
export XDG_STATE_HOME="$PWD/state"

# Waits (up to 20 s) until FILE has at least N lines matching PATTERN. A step
# that only writes returns before the module has printed it: wait for its
# line before reading a module's log.
#   wait_for FILE PATTERN N
wait_for() {
    poll 400 "waited in vain for $3 lines of '$2' in $1" has_lines "$@"
}
has_lines() {
    local n
    n="$(grep -c -- "$2" "$1" 2>/dev/null)" # nothing while FILE is not there yet
    [ "${n:-0}" -ge "$3" ]
}

# Starts the window on the settings file in $LUMAVERA_SETTINGS, connected to
# its last port, in the background (its pid in $window, what it says in
# ./window.log), and waits (up to 20 s) until it serves lumaveractl on
# $XDG_RUNTIME_DIR/lumavera.socket, or on $WINDOW_SOCKET.
#   start_window [lumavera options]
start_window() {
    QT_QPA_PLATFORM=offscreen lumavera --connect "$@" < /dev/null > window.log 2>&1 &
    window=$!
    poll 400 "the window did not come up" test -S "${WINDOW_SOCKET:-$XDG_RUNTIME_DIR/lumavera.socket}"
}

# Holds DEVICE open from another program (sleep), as a terminal or a modem
# prober would, and waits (up to 10 s) until it has it; its pid in $holder.
#   hold DEVICE
hold() {
    sleep 30 < "$1" > /dev/null 2>&1 &
    holder=$!
    poll 200 "$1 is not held" holds "$holder" "$1"
}
# Whether process PID has DEVICE open.
#   holds PID DEVICE
holds() {
    local device fd
    device="$(readlink -f "$2")"
    for fd in /proc/"$1"/fd/*; do
        [ "$(readlink "$fd")" = "$device" ] && return 0
    done
    return 1
}

# Whether process PID has let go of DEVICE.
#   lets_go PID DEVICE
lets_go() {
    ! holds "$@"
}

# Reads DEVICE from another program (python3), taking every byte the moment
# it comes, as a second reader on the line would; waits (up to 10 s) until
# it has it; its pid in $reader.
#   steal DEVICE
steal() {
    python3 -c '
import os, select, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
while True:
    select.select([fd], [], [])
    os.read(fd, 64)
' "$1" < /dev/null > /dev/null 2>&1 &
    reader=$!
    poll 200 "$1 is not read" holds "$reader" "$1"
}

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
# Whether something listens on TCP port PORT of 127.0.0.1.
#   listening PORT
listening() {
    grep -qi " 0100007F:$(printf '%04X' "$1") 00000000:0000 0A " /proc/net/tcp
}

# Whether a connection to TCP port PORT of 127.0.0.1 is kept alive by the
# system (a silent far end is found out).
#   keeps_alive PORT
keeps_alive() {
    ss -tnoH state established "( dport = :$1 )" | grep -q 'timer:(keepalive'
}

# Serves DEVICE on 127.0.0.1 with Debian's ser2net in the background (its pid
# in $server), as other machines serve their lines: ACCEPTER is its
# accepter's stack without the port ("tcp" for raw bytes, "telnet(rfc2217),tcp"
# for RFC 2217); the port it got is in $served. Waits (up to 10 s) until it
# listens.
#   serve DEVICE ACCEPTER
serve() {
    served="$(free_port)"
    PATH="$PATH:/usr/sbin" ser2net -n -u -Y "connection: &line$served#  accepter: $2,127.0.0.1,$served#  connector: serialdev,$(readlink -f "$1"),9600n81,local" \
        < /dev/null > "ser2net-$served.log" 2>&1 &
    server=$!
    poll 200 "ser2net did not listen on $served" listening "$served"
}
