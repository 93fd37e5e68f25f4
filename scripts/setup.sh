# Sourced by ./run and ./test: installs the Debian packages the build and the
# tests need, when any are missing. Uses sudo when not running as root.
# qt6-wayland lets the window run natively on Wayland sessions.
lumavera_packages=(cmake g++ make pkg-config dpkg-dev qt6-base-dev qt6-serialport-dev
    qt6-wayland fonts-dejavu-core fonts-wine libgl-dev libfontconfig-dev "$@")

lumavera_missing=()
for p in "${lumavera_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        lumavera_missing+=("$p")
    fi
done
if [ ${#lumavera_missing[@]} -gt 0 ]; then
    echo "Installing: ${lumavera_missing[*]}"
    lumavera_sudo=()
    [ "$(id -u)" -ne 0 ] && lumavera_sudo=(sudo)
    "${lumavera_sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${lumavera_sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${lumavera_missing[@]}"
fi
