#!/usr/bin/env bash
# Times the command line's comma-delimited export and import against the sqlite3 shell
# doing the same on the same files, and compares the memory they take at two file sizes.
#
#   bench/exchange_bench.sh FOLDER [RUNS]
#
# FOLDER holds a catalogue (make_catalogue FOLDER 1000000); it is only read. Every song
# is exported with all 30 fields and a header line, against the shell's CSV output of the
# same columns in the same order (.mode csv). That file is imported with Auto into an empty
# catalogue, against the shell's .import into the same schema (its indexes, counters and
# full-text index, whose triggers fold text with lower() as the shell has no sv_fold),
# categories added once by name as the import adds them. Each side runs RUNS times
# (default 3); the medians and the ratio shell/ours are printed (at least 0.5 is the
# bound). Last, the peak memory of an import and an export of the first 100,000 songs
# against the whole file. SONGVANE names the program (default build/songvane).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
folder=$(cd "${1:?usage: exchange_bench.sh FOLDER [RUNS]}" && pwd)
runs=${2:-3}
program=${SONGVANE:-$root/build/songvane}
[ -x "$program" ] || { echo "no program at $program (bash scripts/build.sh)" >&2; exit 1; }
command -v sqlite3 >/dev/null || { echo "sqlite3 is missing (scripts/install-deps.sh)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/exchange_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
config="$work/config"

song_fields=(Artist Title Mix Album Media FileNumber ReleaseDate CategoryID ChartNumber
  TrackNumber Side Time UserDefinedKeyField AdditionalInformation1 AdditionalInformation2
  AdditionalInformation3 BeatsPerMinute Style Recording Composer PerformanceNotes LastPlayed
  Skips EndType InOut Notes Rating Live DoNotPlay)
key_fields=(Artist Title Mix Album Media FileNumber UserDefinedKeyField)
fields=$(printf 'MUS:%s,' "${song_fields[@]}")CAT:Category
pictures=(--picture MUS:ReleaseDate=@d2 --picture MUS:Time=@t4 --picture MUS:LastPlayed=@d17-)

songvane() { "$program" --config "$config" "$@" 2>"$work/messages" || { cat "$work/messages" >&2; exit 1; }; }
# Seconds the command takes, on the clock.
timed() {
  local start end
  start=$(date +%s.%N)
  "$@"
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Peak resident memory of the command, in MiB.
peak() { /usr/bin/time -f %M -o "$work/peak" "$@" 2>/dev/null && echo "$(( $(cat "$work/peak") / 1024 ))"; }

songs=$(sqlite3 -readonly "$folder/svpdata.tps" 'SELECT count(*) FROM Songvane')
echo "exchange_bench: $songs songs in $folder, medians of $runs runs"

# --- export -------------------------------------------------------------------------------
shell_columns=$(printf 's."%s", ' "${song_fields[@]}")k.Category
export_ours() { songvane --data "$folder" export --csv "$work/songs.csv" --fields "$fields" --header "${pictures[@]}"; }
export_shell() {
  sqlite3 -readonly -csv -header "$folder/svpdata.tps" \
    "ATTACH '$folder/SVPCAT.tps' AS c;
     SELECT $shell_columns FROM Songvane s LEFT JOIN c.Categories k ON k.CategoryID = s.CategoryID
     ORDER BY s.k_Artist, s.k_Title, s.k_Mix, s.sv_pos" >"$work/shell.csv"
}
ours=$(for _ in $(seq "$runs"); do timed export_ours; done | median)
shell=$(for _ in $(seq "$runs"); do timed export_shell; done | median)
lines=$(( $(wc -l <"$work/songs.csv") ))
printf 'export  %9.2f s   sqlite3 shell %9.2f s   ratio %.2f   (%d songs, %d MiB)\n' \
  "$ours" "$shell" "$(echo "$shell / $ours" | bc -l)" "$songs" "$(( $(stat -c %s "$work/songs.csv") >> 20 ))"
rm -f "$work/shell.csv"

# --- import -------------------------------------------------------------------------------
# An empty catalogue as the program makes it, and a copy the shell can write: its full-text
# triggers fold with lower() instead of the program's own function.
songvane --data "$work/empty" export --csv "$work/none.csv" --fields MUS:Artist
triggers=$(sqlite3 "$work/empty/svpdata.tps" \
  "SELECT 'DROP TRIGGER \"' || name || '\"; ' || replace(sql, 'sv_fold(', 'lower(') || ';'
   FROM sqlite_master WHERE type = 'trigger' AND sql LIKE '%sv_fold(%'")
cp -r "$work/empty" "$work/shell-empty"
sqlite3 "$work/shell-empty/svpdata.tps" "$triggers"

# The song's own columns (its category is found by name), then its ID, category and keys.
plain_fields=()
for field in "${song_fields[@]}"; do [ "$field" = CategoryID ] || plain_fields+=("$field"); done
columns="$(printf '"%s", ' "${plain_fields[@]}")\"ID\", \"CategoryID\"$(printf ', "k_%s"' "${key_fields[@]}")"
values="$(printf 'i."MUS:%s", ' "${plain_fields[@]}")i.rowid, coalesce(k.CategoryID, 0)$(printf ', lower(i."MUS:%s")' "${key_fields[@]}")"
import_ours() { songvane --data "$work/ours" import --csv "$1" --auto "${pictures[@]}"; }
import_shell() {
  sqlite3 "$work/shell/svpdata.tps" <<SQL
ATTACH '$work/shell/SVPCAT.tps' AS c;
BEGIN;
.import --csv --schema temp $1 import
INSERT INTO c.Categories (CategoryID, Category, k_Category)
  SELECT 1 + row_number() OVER (ORDER BY min(rowid)), "CAT:Category", lower("CAT:Category")
  FROM temp.import WHERE "CAT:Category" <> '' GROUP BY lower("CAT:Category");
INSERT INTO Songvane ($columns)
  SELECT $values
  FROM temp.import i LEFT JOIN c.Categories k ON k.k_Category = lower(i."CAT:Category")
  ORDER BY i.rowid;
COMMIT;
SQL
}
import_run() { # SIDE FILE: a fresh empty catalogue, then the import timed
  rm -rf "$work/$1"
  cp -r "$work/$([ "$1" = shell ] && echo shell-empty || echo empty)" "$work/$1"
  timed "import_$1" "$2"
}
ours=$(for _ in $(seq "$runs"); do import_run ours "$work/songs.csv"; done | median)
shell=$(for _ in $(seq "$runs"); do import_run shell "$work/songs.csv"; done | median)
imported=$(sqlite3 -readonly "$work/ours/svpdata.tps" 'SELECT count(*) FROM Songvane')
shell_imported=$(sqlite3 -readonly "$work/shell/svpdata.tps" 'SELECT count(*) FROM Songvane')
[ "$imported" = "$songs" ] && [ "$shell_imported" = "$songs" ] ||
  { echo "imported $imported songs, the shell $shell_imported, of $songs" >&2; exit 1; }
printf 'import  %9.2f s   sqlite3 shell %9.2f s   ratio %.2f   (%d lines)\n' \
  "$ours" "$shell" "$(echo "$shell / $ours" | bc -l)" "$lines"
rm -rf "$work/shell" "$work/shell-empty"

# --- memory -------------------------------------------------------------------------------
head -n 100001 "$work/songs.csv" >"$work/part.csv"
rm -rf "$work/ours"; cp -r "$work/empty" "$work/ours"
small_import=$(peak "$program" --config "$config" --data "$work/ours" import --csv "$work/part.csv" --auto "${pictures[@]}")
small_export=$(peak "$program" --config "$config" --data "$work/ours" export --csv "$work/again.csv" --fields "$fields" --header)
rm -rf "$work/ours"; cp -r "$work/empty" "$work/ours"
large_import=$(peak "$program" --config "$config" --data "$work/ours" import --csv "$work/songs.csv" --auto "${pictures[@]}")
large_export=$(peak "$program" --config "$config" --data "$folder" export --csv "$work/songs.csv" --fields "$fields" --header "${pictures[@]}")
printf 'peak memory: import %d MiB at 100,000 lines, %d MiB at %d; export %d MiB at 100,000 songs, %d MiB at %d\n' \
  "$small_import" "$large_import" "$lines" "$small_export" "$large_export" "$songs"
