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
for page in lumavera lumaveractl lumavera-virtual-module; do
    [ -f "$prefix/share/man/man1/$page.1" ] || fail "no $page man page"
done
for size in 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x$size/apps/lumavera.png"
    [ "$(head -c 8 "$png" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] ||
        fail "no $size px PNG icon"
done
metainfo="$prefix/share/metainfo/org.lumavera.Lumavera.metainfo.xml"
grep -q '<launchable type="desktop-id">lumavera.desktop</launchable>' "$metainfo" ||
    fail "the AppStream metainfo does not launch the desktop file"
"$prefix/bin/lumaveractl" --help | grep -q 'restore FILE' || fail "lumaveractl --help"
# The command line loads no GUI library.
if ldd "$prefix/bin/lumaveractl" | grep -E -q 'Qt6(Gui|Widgets|Network)'; then
    fail "lumaveractl links a library beyond Qt Core and SerialPort"
fi
echo "installed layout ok"
