#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs from it: the
# programs, the menu entry, the icon at every size, the AppStream metadata, the catalogue's
# file type and the help pages, then starts the installed program the way the menu does,
# with a catalogue folder and without one.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR VERSION_TEXT
set -euo pipefail
build=$1 source=$2 version=$3
app_id=org.songvane.songvane
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root=$tmp/root
prefix=$root/usr
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for program in songvane tpsfix; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed as a program"
  # An installed program must not reach back into the build tree for its libraries.
  if readelf -d "$prefix/bin/$program" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
    fail "bin/$program keeps a library path into the build folder"
  fi
done

desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] || fail "the menu entry $app_id.desktop is not installed"
[ -f "$metainfo" ] || fail "the AppStream file $app_id.metainfo.xml is not installed"
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the menu entry"
appstreamcli validate --no-net "$metainfo" >/dev/null || fail "appstreamcli rejects the metadata"
appstreamcli validate-tree --no-net "$root" >/dev/null || fail "appstreamcli rejects the installed tree"

entry() { sed -n "s/^$1=//p" "$desktop"; }
grep -qx 'Categories=AudioVideo;Audio;' "$desktop" || fail "the menu entry is not under AudioVideo;Audio;"
[ -n "$(entry Name)" ] && [ -n "$(entry Comment)" ] || fail "the menu entry has no name or comment"

icon=$(entry Icon)
hicolor=$prefix/share/icons/hicolor
[ -f "$hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon.svg"
for size in 16 32 48 64 128 256; do
  png=$hicolor/${size}x${size}/apps/$icon.png
  if [ ! -f "$png" ]; then
    fail "no ${size}x${size} icon"
  elif [ "$(identify -format '%wx%h' "$png")" != "${size}x${size}" ]; then
    fail "the ${size}x${size} icon is $(identify -format '%wx%h' "$png")"
  fi
done

mime=$prefix/share/mime/packages/$app_id.xml
xmllint --noout "$mime" || fail "the catalogue's file type is not well-formed XML"
grep -q "MimeType=.*$(sed -n 's/.*mime-type type="\([^"]*\)".*/\1/p' "$mime");" "$desktop" ||
  fail "the menu entry does not open the catalogue's file type"

for page in "$source"/src/app/help/*.html; do
  [ -f "$prefix/share/songvane/help/$(basename "$page")" ] || fail "help page $(basename "$page") is not installed"
done

# The menu's command line, with the installed bin first on the PATH: its program is the
# installed one, it takes the catalogue folder, and it tells the version the metadata lists
# as the newest release.
exec_line=$(entry Exec)
read -r program field <<<"$exec_line"
[ "$field" = "%f" ] || fail "the menu entry does not pass the catalogue folder (Exec=$exec_line)"
[ "$(PATH=$prefix/bin:$PATH command -v "$program")" = "$prefix/bin/$program" ] ||
  fail "the menu entry's program $program is not the installed one"
shown=$(PATH=$prefix/bin:$PATH "$program" --version) || fail "$program --version failed"
[ "$shown" = "$version" ] || fail "$program --version prints '$shown', not '$version'"
newest=$(xmllint --xpath 'string(//releases/release[1]/@version)' "$metainfo")
[ "$newest" = "$version" ] || fail "the metadata's newest release is '$newest', not '$version'"

# Every option the README lists is one the installed program explains.
help=$("$prefix/bin/songvane" --help) || fail "songvane --help failed"
for option in $(grep -o '^| `--[a-z-]*' "$source/README.md" | cut -c4-); do
  grep -q -- "$option" <<<"$help" || fail "songvane --help does not list $option"
done

# Started as the menu starts it, the installed program opens the catalogue in the folder it
# is given; started with no folder from one without a catalogue, it keeps its catalogue in
# the user's data folder and writes nothing where it was started.
export QT_QPA_PLATFORM=offscreen SONGVANE_CONFIG=$tmp/config XDG_DATA_HOME=$tmp/data
unset SONGVANE_DATA
starts_catalogue_in() { # FOLDER COMMAND...
  local folder=$1 pid waited=0
  shift
  "$@" >"$tmp/program.log" 2>&1 &
  pid=$!
  # A bound for a hung start, not a measure of speed.
  while [ ! -f "$folder/svpdata.tps" ] && kill -0 "$pid" 2>/dev/null && [ $waited -lt 600 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
  [ -f "$folder/svpdata.tps" ] || { cat "$tmp/program.log" >&2; return 1; }
}
catalogue="$tmp/my catalogue"
starts_catalogue_in "$catalogue" "$prefix/bin/$program" "$catalogue" ||
  fail "Exec=$exec_line with a folder does not open the catalogue there"
mkdir -p "$tmp/started-here"
(cd "$tmp/started-here" && starts_catalogue_in "$tmp/data/songvane/catalogue" "$prefix/bin/$program") ||
  fail "with no folder, the catalogue is not under \$XDG_DATA_HOME/songvane"
[ -z "$(ls -A "$tmp/started-here")" ] || fail "with no folder, files were written where it started"

[ "$failures" -eq 0 ] || exit 1
echo "installed tree under $prefix checked"
