#!/usr/bin/env bash
# Reads the real window through AT-SPI under Xvfb, on a private session bus,
# with a virtual module on COM1, and works it as a screen-reader user would.
#   run-screenreader.sh LUMAVERA VIRTUAL_MODULE [--dump]
# --dump prints the tree without checking it.
set -euo pipefail
lumavera=$1 module=$2
mode=(--check --act)
[ "${3:-}" = --dump ] && mode=()

work=$(mktemp -d)
trap 'kill "$module_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/config/lumavera" "$work/runtime"
chmod 700 "$work/runtime"
printf '[Ports]\r\nCOM1=%s\r\n' "$work/module" >"$work/config/lumavera/lumavera.ini"

"$module" --link "$work/module" --eeprom "$work/eeprom.bin" >"$work/module.log" 2>&1 &
module_pid=$!
for _ in $(seq 100); do
    [ -L "$work/module" ] && break
    sleep 0.05
done

export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
# The session bus starts the accessibility bus and its registry on demand.
xvfb-run -a -s '-screen 0 1024x768x24' dbus-run-session -- \
    /usr/bin/python3 "$(dirname "$0")/screenreader.py" "${mode[@]}" "$lumavera" 2>&1 |
    grep -v '^dbus-daemon\|^SpiRegistry'
exit "${PIPESTATUS[0]}"
