#!/usr/bin/env bash
# Reads the real window through AT-SPI on a private session bus, with a
# virtual module on COM1, and works it as a screen-reader user would: under
# Xvfb, or with --wayland natively under a headless Weston with no X display
# at all. Either way the module must receive the colour sent. With --station,
# the station window instead, on COM1 and a module on COM2 that keeps nothing.
#   run-screenreader.sh [--wayland | --station] LUMAVERA VIRTUAL_MODULE
set -euo pipefail
wayland=0 station=0
[ "$1" = --wayland ] && { wayland=1; shift; }
[ "$1" = --station ] && { station=1; shift; }
lumavera=$1 module=$2

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/lumavera" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Ports]\r\nCOM1=%s\r\nCOM2=%s\r\n' "$work/module" "$work/forgetful" \
    >"$work/config/lumavera/lumavera.ini"
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
if [ $station = 1 ]; then
    "$module" --link "$work/forgetful" --forget >/dev/null 2>&1 &
    pids+=($!)
    await -L "$work/forgetful" /dev/null
    { printf '[Module]\r\nMode=2\r\nFade=1\r\nHold=10\r\n[Colors]\r\n'
      for colour in Red Green Blue; do
          for i in $(seq 10); do printf '%s%d=%d\r\n' $colour "$i" $((i * 20)); done
      done; } >"$work/golden.ini"
    reader=(dbus-run-session -- /usr/bin/python3 "$(dirname "$0")/stationreader.py")
    set -- "$lumavera" --station "$work/golden.ini" --port COM1 --port COM2 --gap 0 \
        --log "$work/station.csv"
else
    set -- "$lumavera"
fi
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

"${reader[@]}" "$@" 2>&1 | grep -v '^dbus-daemon\|^SpiRegistry'
if [ $station = 1 ]; then
    # The verdicts the tiles told, whole in the CSV file.
    cut -d, -f4 "$work/station.csv"
    [ "$(grep -c ',PASS,\|,FAIL,' "$work/station.csv")" = 2 ] ||
        { echo "FAIL: the CSV file does not hold both verdicts"; exit 1; }
    exit 0
fi
# The frame itself, as the module decoded it.
grep 'SetColor r=128 g=0 b=0' "$work/module.log" ||
    { echo "FAIL: the module never received the colour"; cat "$work/module.log"; exit 1; }
