#!/usr/bin/env bash
# Runs a program as on a Debian system with fonts-dejavu-core alone: no face
# with Tahoma's metrics. The font system is given those four DejaVu faces and
# no other, and Wine's font folder is hidden under an empty tmpfs in a
# private mount namespace.
#   without-tahoma.sh PROGRAM [ARGS...]
set -euo pipefail
fonts=$(mktemp -d)
trap 'rm -rf "$fonts"' EXIT
for face in DejaVuSans DejaVuSans-Bold DejaVuSansMono DejaVuSerif; do
    ln -s "/usr/share/fonts/truetype/dejavu/$face.ttf" "$fonts/"
done
cat >"$fonts/fonts.conf" <<CONF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig><dir>$fonts</dir><cachedir>$fonts/cache</cachedir></fontconfig>
CONF
export FONTCONFIG_FILE="$fonts/fonts.conf"
hide='[ -d /usr/share/wine/fonts ] && mount -t tmpfs tmpfs /usr/share/wine/fonts; "$@"'
namespace=(unshare --mount --propagation private)
[ "$(id -u)" = 0 ] || namespace=(unshare --map-root-user --mount)
"${namespace[@]}" sh -c "$hide" sh "$@"
