#!/usr/bin/env bash
# One table for every game of the machine: two games playing at once both store their results,
# and a game started afterwards reads both back in its top ten.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
make_game "$E2E_SCRATCH/one" "$scores" '[Misc]\nName=eka\n'
make_game "$E2E_SCRATCH/two" "$scores" '[Misc]\nName=toka\n'

start_game "$E2E_SCRATCH/one"; pid1=$GAME_PID; wid1=$GAME_WID
tap Return
start_game "$E2E_SCRATCH/two"; pid2=$GAME_PID
sleep 5
tap Return
start=$SECONDS
until [ "$(records "$scores" | grep -c .)" -ge 2 ]; do
  [ $((SECONDS - start)) -ge 90 ] && fail "two games stored $(records "$scores" | grep -c .) results"
  sleep 0.5
done
records "$scores" | grep -q '^eka	' || fail "the first game's result is missing"
records "$scores" | grep -q '^toka	' || fail "the second game's result is missing"
"$BUILD/sauno-table" verify "$scores" enkat >/dev/null || fail "the table does not verify"
# The first game ended first: its list holds only its own record; both quit with "n".
for pid_wid in "$pid2:$GAME_WID" "$pid1:$wid1"; do
  GAME_PID=${pid_wid%%:*}; GAME_WID=${pid_wid##*:}
  focus
  tap n
  wait_exit 3 || fail "a game did not quit with n"; status=$GAME_STATUS
  [ "$status" = 0 ] || fail "exit status $status"
done

# Restarted, the game shows both results in its top ten after its own visit.
printf '[Misc]\nName=kolmas\n' > "$E2E_SCRATCH/one/settings.ini"
start_game "$E2E_SCRATCH/one"
tap Return
start=$SECONDS
until [ "$(records "$scores" | grep -c .)" -ge 3 ]; do
  [ $((SECONDS - start)) -ge 90 ] && fail "the restarted game stored no result"
  sleep 0.5
done
sleep 0.6
shot "$shots/shared_topten.png"
same_mask() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" -lt 20 ]; }
# Three records, three different lines, and no more.
for i in 0 1 2; do
  n=$(white_pixels "$shots/shared_topten.png" 0 $((175 + 15 * i)) 260 14)
  [ "$n" -ge 12 ] || fail "top-ten line $i missing after the restart"
  white_mask "$shots/shared_topten.png" 0 $((175 + 15 * i)) 260 14 "$E2E_SCRATCH/line$i.png"
done
same_mask "$E2E_SCRATCH/line0.png" "$E2E_SCRATCH/line1.png" && fail "lines 1 and 2 of the top ten are the same"
same_mask "$E2E_SCRATCH/line1.png" "$E2E_SCRATCH/line2.png" && fail "lines 2 and 3 of the top ten are the same"
n=$(white_pixels "$shots/shared_topten.png" 0 224 300 100)
[ "$n" -le 3 ] || fail "top-ten lines below the three records"
tap n
wait_exit 3 || fail "the restarted game did not quit"; status=$GAME_STATUS
echo "shared table: $(records "$scores" | tr '\t\n' ': ')"
