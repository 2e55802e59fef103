#!/usr/bin/env bash
# The first run: a game without its high-score table ends at start-up with status 1 and says
# where the table should be and how to make it; a normal start prints nothing on the terminal.
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

sed "s|$E2E_SCRATCH/empty|$scores|" "$game/sauno.scene" > "$game/sauno.scene.new" && mv "$game/sauno.scene.new" "$game/sauno.scene"
start_game "$game"
wait_drawn "$E2E_SCRATCH/start.png"
tap Return
sleep 4
tap Escape
tap y
status=$(wait_exit 3) || fail "still running after Escape, y"
[ "$status" = 0 ] || fail "exit status $status"
[ -s "$game/out.txt" ] && fail "a normal start printed: $(cat "$game/out.txt")"
echo "first run: the missing table explained, a normal start silent"
