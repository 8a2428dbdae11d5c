#!/usr/bin/env bash
# Builds what is missing and starts the program with the arguments given: a catalogue
# folder, else the catalogue in the current folder, else the user's default catalogue
# (songvane --help says where).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/build.sh" --target songvane >/dev/null
songvane="${SONGVANE_BUILD_DIR:-$root/build}/songvane"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  echo "No display found. Start SongVane under a virtual display instead:" >&2
  echo "  xvfb-run -a -s \"-screen 0 1280x800x24\" bash $root/scripts/run.sh" >&2
  exit 1
fi
exec "$songvane" "$@"
