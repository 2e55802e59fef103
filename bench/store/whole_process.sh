#!/usr/bin/env bash
# The goals checked from outside with whole processes: sauno-table insert
# --stdin (batched commits) and insert --each (one commit per line, as the
# game commits) of N (name, seconds) lines into the game's table, against the
# sqlite3 shell inserting the same rows one transaction each (WAL,
# synchronous=OFF) into a table with an index on the seconds. Prints the
# times and the ratios.
#   whole_process.sh SAUNO_TABLE [N] [DIR]
set -euo pipefail
tool="$1"
count="${2:-100000}"
dir="${3:-$(mktemp -d)}"
mkdir -p "$dir"
lines="$dir/rows.tsv"
sql="$dir/rows.sql"
awk -v n="$count" 'BEGIN { for (i = 0; i < n; i++) printf "pelaaja%d\t%d\n", i % 97, (i * 7919) % 600 }' > "$lines"
{
  echo "PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF;"
  echo "CREATE TABLE enkat(nimi TEXT, aika INTEGER); CREATE INDEX aika ON enkat(aika);"
  awk -F '\t' '{ printf "INSERT INTO enkat VALUES ('"'"'%s'"'"', %d);\n", $1, $2 }' "$lines"
} > "$sql"
rm -f "$dir/enkat.DAT" "$dir/enkat.IDX" "$dir/enkat.sqlite"*
"$tool" create-scores "$dir" > /dev/null

now() { date +%s.%N; }
t0=$(now); "$tool" insert "$dir" enkat --stdin < "$lines" > /dev/null; t1=$(now)
sqlite3 "$dir/enkat.sqlite" < "$sql" > /dev/null; t2=$(now)
[ "$("$tool" list "$dir" enkat | wc -l)" = "$count" ] || { echo "the table does not hold $count records"; exit 1; }
rm -f "$dir/enkat.DAT" "$dir/enkat.IDX"
"$tool" create-scores "$dir" > /dev/null
t3=$(now); "$tool" insert "$dir" enkat --each < "$lines" > /dev/null; t4=$(now)
[ "$("$tool" list "$dir" enkat | wc -l)" = "$count" ] || { echo "the table does not hold $count records"; exit 1; }
batched=$(echo "$t1 - $t0" | bc -l)
shell=$(echo "$t2 - $t1" | bc -l)
each=$(echo "$t4 - $t3" | bc -l)
printf "%d rows: sauno-table insert --stdin %.3f s, sqlite3 shell %.3f s, ratio %.2f (goal: at least 3)\n" \
  "$count" "$batched" "$shell" "$(echo "$shell / $batched" | bc -l)"
printf "%d rows: sauno-table insert --each %.3f s, sqlite3 shell %.3f s, ratio %.2f (goal: at least 2)\n" \
  "$count" "$each" "$shell" "$(echo "$shell / $each" | bc -l)"
rm -f "$dir/enkat.DAT" "$dir/enkat.IDX" "$dir/enkat.sqlite"* "$lines" "$sql"
