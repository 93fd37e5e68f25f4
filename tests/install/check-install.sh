#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that everything a
# desktop needs lands in its standard place.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*"; exit 1; }
for f in bin/lumavera bin/lumaveractl bin/lumavera-virtual-module; do
    [ -x "$prefix/$f" ] || fail "$f is not installed as an executable"
done
desktop="$prefix/share/applications/lumavera.desktop"
[ -f "$desktop" ] || fail "no desktop file"
grep -qx 'Exec=lumavera' "$desktop" || fail "desktop file does not start lumavera"
grep -qx 'Icon=lumavera' "$desktop" || fail "desktop file names no icon"
icon="$prefix/share/icons/hicolor/scalable/apps/lumavera.svg"
[ -f "$icon" ] || fail "no icon"
grep -q '<svg' "$icon" || fail "the icon is not an SVG"
"$prefix/bin/lumavera-virtual-module" --help | grep -q -- '--silent' || fail "module --help"
set +e
"$prefix/bin/lumavera-virtual-module" --no-such-option 2>/dev/null
[ $? -eq 2 ] || fail "a bad option must exit with status 2"
set -e
[ -f "$prefix/share/man/man1/lumaveractl.1" ] || fail "no lumaveractl man page"
"$prefix/bin/lumaveractl" --help | grep -q 'restore FILE' || fail "lumaveractl --help"
# The command line loads no GUI library.
if ldd "$prefix/bin/lumaveractl" | grep -E -q 'Qt6(Gui|Widgets|Network)'; then
    fail "lumaveractl links a library beyond Qt Core and SerialPort"
fi
echo "installed layout ok"
