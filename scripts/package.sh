#!/usr/bin/env bash
# Builds what is missing and makes the Debian package build/package/songvane_<version>_<arch>.deb,
# whose dependencies are read from the libraries the programs link. Install it with
#   sudo apt install ./build/package/songvane_*.deb
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${SONGVANE_BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh" --target songvane tpsfix icons >/dev/null
rm -f "$build"/package/songvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/package/songvane_*.deb
