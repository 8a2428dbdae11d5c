#!/usr/bin/env bash
# Installs every Debian package that building, running and testing the program needs.
# Idempotent: when everything is already there it prints nothing and changes nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-multimedia-dev libqt6svg6 gstreamer1.0-plugins-good
  libsqlite3-dev sqlite3 postgresql libpq-dev libcdio-dev libcdio-paranoia-dev libcdio-utils libdiscid-dev libtag1-dev
  xvfb xauth imagemagick poppler-utils fonts-dejavu-core pulseaudio openbox xdotool
  librsvg2-bin desktop-file-utils appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
