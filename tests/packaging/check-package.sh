#!/usr/bin/env bash
# Builds the Debian package, installs it with apt as a user would, starts the program from
# the menu entry's command line, then removes the package and checks nothing is left.
# It changes the system, so it runs only as root, only when SONGVANE_TEST_PACKAGE=1 asks for
# it (scripts/test.sh sets it on a CI machine), and never where a songvane package is already installed; otherwise it
# reports itself skipped (77).
# Usage: check-package.sh BUILD_DIR VERSION_TEXT
set -euo pipefail
build=$1 version=$2
skip() {
  echo "skipped: $*"
  exit 77
}
[ "${SONGVANE_TEST_PACKAGE:-0}" = 1 ] || skip "set SONGVANE_TEST_PACKAGE=1 to install the package on this machine"
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "no apt-get here"
installed() { dpkg-query -W -f='${db:Status-Status}' songvane 2>/dev/null | grep -qx installed; }
installed && skip "a songvane package is already installed here; it is left alone"

# One package check at a time on a machine: apt holds its own lock, but the install, run and
# remove must not interleave with another run's.
exec 9>/var/lock/songvane-package-check
flock 9

tmp=$(mktemp -d)
cleanup() {
  installed && apt-get remove -y -qq songvane >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$tmp" >/dev/null 2>&1) || fail "cpack could not build the package"
deb=$(ls "$tmp"/songvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libsqlite3-0 libcdio19 libtag1v5; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null ||
  fail "apt could not install $deb"
installed || fail "dpkg does not list songvane as installed"

desktop=/usr/share/applications/org.songvane.songvane.desktop
[ -f "$desktop" ] || fail "the menu entry is not installed"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
program=${exec_line%% *}
[ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "the menu's $program is not /usr/bin/$program"
shown=$(env -i PATH=/usr/bin:/bin "$program" --version) || fail "$program --version failed"
[ "$shown" = "$version" ] || fail "$program --version prints '$shown', not '$version'"
for installed_program in /usr/bin/songvane /usr/bin/tpsfix; do
  ! ldd "$installed_program" | grep -q 'not found' || fail "$installed_program misses libraries"
done

owned=$(dpkg -L songvane | grep -E '^/usr/(bin|share/(applications|metainfo|icons|mime/packages|songvane))/.')
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq songvane >/dev/null || fail "apt could not remove songvane"
installed && fail "songvane is still installed after apt remove"
while read -r path; do
  [ -f "$path" ] && fail "$path is left after removing the package"
done <<<"$owned"
echo "package $(basename "$deb") installed, started and removed"
