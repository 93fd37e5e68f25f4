#!/usr/bin/env bash
# Reads the real window through AT-SPI on a private session bus, with a
# virtual module on COM1, and works it as a screen-reader user would: under
# Xvfb, or with --wayland natively under a headless Weston with no X display
# at all. Either way the module must receive the colour sent.
#   run-screenreader.sh [--wayland] LUMAVERA VIRTUAL_MODULE [--dump]
# --dump prints the tree without checking it.
set -euo pipefail
wayland=0
[ "$1" = --wayland ] && { wayland=1; shift; }
lumavera=$1 module=$2
mode=(--check --act)
[ "${3:-}" = --dump ] && mode=()

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/lumavera" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Ports]\r\nCOM1=%s\r\n' "$work/module" >"$work/config/lumavera/lumavera.ini"
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"

"$module" --link "$work/module" --eeprom "$work/eeprom.bin" >"$work/module.log" 2>&1 &
pids+=($!)

reader=(/usr/bin/python3 "$(dirname "$0")/screenreader.py" "${mode[@]}")
if [ $wayland = 1 ]; then
    weston --backend=headless-backend.so --socket=wayland-lumavera --idle-time=0 \
        >"$work/weston.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 600); do
        [ -S "$work/runtime/wayland-lumavera" ] && break
        sleep 0.05
    done
    [ -S "$work/runtime/wayland-lumavera" ] || { cat "$work/weston.log"; exit 1; }
    unset DISPLAY
    export WAYLAND_DISPLAY=wayland-lumavera
    run=(dbus-run-session -- "${reader[@]}" --platform=wayland "$lumavera")
else
    # Xvfb picks a free display itself and says which once it is ready. It
    # must not reset when its first client (the accessibility bus) leaves.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    for _ in $(seq 600); do
        [ -s "$work/display" ] && break
        sleep 0.05
    done
    [ -s "$work/display" ] || { echo "Xvfb did not start within 30 s"; cat "$work/xvfb.log"; exit 1; }
    export DISPLAY=":$(cat "$work/display")"
    run=(dbus-run-session -- "${reader[@]}" "$lumavera")
fi
for _ in $(seq 600); do
    [ -L "$work/module" ] && break
    sleep 0.05
done

set +e
"${run[@]}" 2>&1 | grep -v '^dbus-daemon\|^SpiRegistry'
status=${PIPESTATUS[0]}
set -e
[ $status = 0 ] || { [ -f "$work/xvfb.log" ] && cat "$work/xvfb.log"; exit $status; }
if [ ${#mode[@]} -gt 0 ]; then
    # The frame itself, as the module decoded it.
    grep -q 'SetColor r=128 g=0 b=0' "$work/module.log" ||
        { echo "FAIL: the module never received the colour"; cat "$work/module.log"; exit 1; }
    echo "the module received: $(grep 'SetColor' "$work/module.log" | tail -1)"
fi
