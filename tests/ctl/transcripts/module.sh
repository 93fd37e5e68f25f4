# Sourced by the transcripts: plays a module on a pseudo-terminal linked at
# NAME in the current folder, in the background, and waits (up to 10 s) for
# the link. Its pid is in $module; what it prints goes to NAME.log. What
# modules held before a restore is kept under ./state.
#   start_module NAME [virtual module options]
start_module() {
    local name="$1"
    shift
    lumavera-virtual-module --link "$name" "$@" < /dev/null > "$name.log" 2>&1 &
    module=$!
    for _ in $(seq 200); do
        [ -L "$name" ] && return 0
        sleep 0.05
    done
    echo "the virtual module did not come up" >&2
    return 1
}
export XDG_STATE_HOME="$PWD/state"
