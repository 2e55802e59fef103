#!/usr/bin/env bash
# The first run: a game without its high-score table ends at start-up with status 1 and says
# where the table should be and how to make it, and so does one whose index file lost the
# game's index, or whose last record a power cut took; a normal start prints nothing on the
# terminal.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
make_game "$game" "$scores" ''
mkdir -p "$E2E_SCRATCH/empty"
sed "s|$scores|$E2E_SCRATCH/empty|" "$game/sauno.scene" > "$game/sauno.scene.new" && mv "$game/sauno.scene.new" "$game/sauno.scene"
out=$(cd "$game" && SAUNO_MESSAGES=stderr timeout 20 ./sauno 2>&1)
status=$?
[ "$status" = 1 ] || fail "exit status $status without a table"
grep -q "$E2E_SCRATCH/empty" <<<"$out" || fail "the message does not name the directory: $out"
grep -q "sauno-table create-scores $E2E_SCRATCH/empty" <<<"$out" || fail "the message does not say what to do: $out"

# A table whose index file was lost: the index file made anew lacks the
# game's index; the message says which command builds it from the scores.
lost="$E2E_SCRATCH/lost"
mkdir -p "$lost"
"$BUILD/sauno-table" create-scores "$lost" >/dev/null
printf 'a\t5\nb\t9\n' | "$BUILD/sauno-table" insert "$lost" enkat --stdin >/dev/null
rm "$lost/enkat.IDX"
sed "s|$E2E_SCRATCH/empty|$lost|" "$game/sauno.scene" > "$game/sauno.scene.new" && mv "$game/sauno.scene.new" "$game/sauno.scene"
out=$(cd "$game" && SAUNO_MESSAGES=stderr timeout 20 ./sauno 2>&1)
status=$?
[ "$status" = 1 ] || fail "exit status $status with the index lost"
grep -q "build it again with: sauno-table create-scores $lost" <<<"$out" || fail "the lost index is not explained: $out"
"$BUILD/sauno-table" create-scores "$lost" | grep -q "built again from 2 records" || fail "create-scores did not build the index"
[ "$(records "$lost")" = "$(printf 'b\t9\na\t5')" ] || fail "the scores after the rebuild: $(records "$lost")"

# A power cut without flushes kept both headers of the last visit and not its record: the
# message names the command that mends it, and that command keeps the records there were.
printf 'c\t7\n' | "$BUILD/sauno-table" insert "$lost" enkat --stdin >/dev/null
truncate -s -56 "$lost/enkat.DAT"
out=$(cd "$game" && SAUNO_MESSAGES=stderr timeout 20 ./sauno 2>&1)
status=$?
[ "$status" = 1 ] || fail "exit status $status with a record cut off"
grep -q "with: sauno-table repair $lost enkat" <<<"$out" || fail "the cut-off record is not explained: $out"
"$BUILD/sauno-table" repair "$lost" enkat >/dev/null || fail "repair did not mend the table"
[ "$(records "$lost")" = "$(printf 'b\t9\na\t5')" ] || fail "the scores after the repair: $(records "$lost")"

sed "s|$lost|$scores|" "$game/sauno.scene" > "$game/sauno.scene.new" && mv "$game/sauno.scene.new" "$game/sauno.scene"
start_game "$game"
wait_drawn "$E2E_SCRATCH/start.png"
tap Return
sleep 4
tap Escape
tap y
wait_exit 3 || fail "still running after Escape, y"; status=$GAME_STATUS
[ "$status" = 0 ] || fail "exit status $status"
[ -s "$game/out.txt" ] && fail "a normal start printed: $(cat "$game/out.txt")"
echo "first run: the missing table explained, a normal start silent"
