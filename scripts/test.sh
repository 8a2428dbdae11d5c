#!/usr/bin/env bash
# Builds everything and runs the whole test suite headless.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/build.sh"
runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen
# On the CI machine the suite may also install and remove the Debian package.
if [ "${CI:-}" = true ]; then
  export SONGVANE_TEST_PACKAGE="${SONGVANE_TEST_PACKAGE:-1}"
fi
ctest --test-dir "${SONGVANE_BUILD_DIR:-$root/build}" --output-on-failure -j2
