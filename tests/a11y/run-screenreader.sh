#!/usr/bin/env bash
# Reads the real window through AT-SPI on a private session bus, with a
# virtual module on COM1, and works it as a screen-reader user would: under
# Xvfb, or with --wayland natively under a headless Weston with no X display
# at all. Either way the module must receive the colour sent.
#   run-screenreader.sh [--wayland] LUMAVERA VIRTUAL_MODULE
set -euo pipefail
wayland=0
[ "$1" = --wayland ] && { wayland=1; shift; }
lumavera=$1 module=$2

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/lumavera" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Ports]\r\nCOM1=%s\r\n' "$work/module" >"$work/config/lumavera/lumavera.ini"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# Waits up to 30 s for a test to hold, showing LOG if it never does.
await() {
    for _ in $(seq 600); do
        test "$1" "$2" && return
        sleep 0.05
    done
    echo "$2 did not appear within 30 s"
    cat "$3"
    exit 1
}

"$module" --link "$work/module" --eeprom "$work/eeprom.bin" >"$work/module.log" 2>&1 &
pids+=($!)
await -L "$work/module" "$work/module.log"

reader=(dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/screenreader.py")
if [ $wayland = 1 ]; then
    weston --backend=headless-backend.so --socket=wayland-lumavera --idle-time=0 \
        >"$work/weston.log" 2>&1 &
    pids+=($!)
    await -S "$work/runtime/wayland-lumavera" "$work/weston.log"
    unset DISPLAY
    export WAYLAND_DISPLAY=wayland-lumavera
    reader+=(--platform=wayland)
else
    # Xvfb picks a free display itself and says which once it is ready. It
    # must not reset when its first client (the accessibility bus) leaves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" \
        2>"$work/xvfb.log" &
    pids+=($!)
    await -s "$work/display" "$work/xvfb.log"
    export DISPLAY=":$(cat "$work/display")"
fi

"${reader[@]}" "$lumavera" 2>&1 | grep -v '^dbus-daemon\|^SpiRegistry'
# The frame itself, as the module decoded it.
grep 'SetColor r=128 g=0 b=0' "$work/module.log" ||
    { echo "FAIL: the module never received the colour"; cat "$work/module.log"; exit 1; }
