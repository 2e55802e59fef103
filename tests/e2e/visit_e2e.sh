#!/usr/bin/env bash
# Whole visits of the real game, played with real keys: the texts at their places, a visit
# without water ending on the drain's schedule, its record on disk and in the top ten, play
# again, a visit lengthened by water and beer, the keys after game over, and "n" quitting.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
make_game "$game" "$scores" '[Misc]\nName=tester\n'
start_game "$game"

# Waits until the table holds $1 records; prints the seconds it took.
wait_records() {
  local want="$1" limit="$2" start=$SECONDS
  while [ "$(records "$scores" | grep -c .)" -lt "$want" ]; do
    [ $((SECONDS - start)) -ge "$limit" ] && return 1
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended during a visit: $(cat "$game/out.txt")"
    sleep 0.25
  done
  echo $((SECONDS - start))
}
has_text() {  # shot, x, y, w, h, what
  local n
  n=$(white_pixels "$1" "$2" "$3" "$4" "$5")
  [ "$n" -ge 12 ] || fail "$6: no text at $2,$3 ($n white pixels in $(basename "$1"))"
}
no_text() {
  local n
  n=$(white_pixels "$1" "$2" "$3" "$4" "$5")
  [ "$n" -le 3 ] || fail "$6: text at $2,$3 ($n white pixels in $(basename "$1"))"
}

# Start-up: the question at the top-left, the labels and their values at 65, 85 and 105.
wait_drawn "$shots/visit_start.png"
has_text "$shots/visit_start.png" 0 0 160 20 '"Press enter to start!"'
has_text "$shots/visit_start.png" 0 65 90 18 '"Temperature:"'
has_text "$shots/visit_start.png" 100 65 30 18 '"70"'
has_text "$shots/visit_start.png" 0 85 75 18 '"Toleration:"'
has_text "$shots/visit_start.png" 80 85 35 18 '"100"'
has_text "$shots/visit_start.png" 0 105 65 18 '"Beer left:"'
has_text "$shots/visit_start.png" 70 105 20 18 '"3"'
no_text "$shots/visit_start.png" 0 150 300 20 "the quit question at start-up"
room=$(mean_of "$shots/visit_start.png" 200 130 480 300)
awk -v m="$room" 'BEGIN { exit !(m > 0.04) }' || fail "the room is black (mean $room)"
# The far wall behind the stove, four metres off, shows through the grey steam: its boards
# keep less of their colour (red less blue) than the wall picture itself has.
chroma() { convert "$@" -format '%[fx:mean.r-mean.b]' info:; }
far=$(chroma "$shots/visit_start.png" -crop 160x150+20+150 +repage)
own=$(chroma "$BUILD/pictures/seina1.jpg")
awk -v f="$far" -v o="$own" 'BEGIN { exit !(f > 0.05 && f < 0.85 * o) }' ||
  fail "no grey fog on the far wall (its colour $far, the picture's $own)"

# Enter: the countdown, then "SAUNO!" and the clock.
tap Return
sleep 1.4
shot "$shots/visit_countdown.png"
no_text "$shots/visit_countdown.png" 60 0 100 16 "the start question after Enter"
has_text "$shots/visit_countdown.png" 0 0 60 50 "a countdown digit"
sleep 2.4
shot "$shots/visit_sauno.png"
has_text "$shots/visit_sauno.png" 60 0 120 50 '"SAUNO!"'
has_text "$shots/visit_sauno.png" 0 50 160 18 '"Time spent in the sauna:"'

# Without water the drain of 1.2, then 2.4, then 3.0 a second ends the visit after about 45 s.
took=$(wait_records 1 70) || fail "no record 70 s after the countdown"
line=$(records "$scores" | head -1)
name=${line%%$'\t'*}
seconds=${line##*$'\t'}
[ "$name" = tester ] || fail "record name '$name'"
[ "$seconds" -ge 43 ] && [ "$seconds" -le 48 ] || fail "a visit without water lasted $seconds s"
[ "$took" -ge 40 ] && [ "$took" -le 50 ] || fail "the visit ended $took s after the countdown"
sleep 0.5
shot "$shots/visit_gameover.png"
has_text "$shots/visit_gameover.png" 0 160 140 15 '"Game over. Top 10:"'
# One record, one line: the list stops where the records end.
has_text "$shots/visit_gameover.png" 0 175 200 14 "the top-ten line"
no_text "$shots/visit_gameover.png" 0 194 300 136 "top-ten lines without records"
has_text "$shots/visit_gameover.png" 0 400 220 18 '"Do you want to try again? Y/N"'

# The keys after game over: water still counts, but the same arrow never twice in a row,
# however long it is held.
crop() { convert "$1" -crop 40x18+80+85 +repage "$2"; }
same() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }
crop "$shots/visit_gameover.png" "$E2E_SCRATCH/t0.png"
hold Left 1.5
sleep 0.3; shot "$E2E_SCRATCH/s1.png"; crop "$E2E_SCRATCH/s1.png" "$E2E_SCRATCH/t1.png"
same "$E2E_SCRATCH/t0.png" "$E2E_SCRATCH/t1.png" && fail "Left after game over did not throw"
tap Left
sleep 0.3; shot "$E2E_SCRATCH/s2.png"; crop "$E2E_SCRATCH/s2.png" "$E2E_SCRATCH/t2.png"
same "$E2E_SCRATCH/t1.png" "$E2E_SCRATCH/t2.png" || fail "Left twice in a row threw twice"
tap Right
sleep 0.3; shot "$E2E_SCRATCH/s3.png"; crop "$E2E_SCRATCH/s3.png" "$E2E_SCRATCH/t3.png"
same "$E2E_SCRATCH/t2.png" "$E2E_SCRATCH/t3.png" && fail "Right after Left did not throw"

# "y": the list and the question go, the values are back, Enter starts the next visit.
tap y
sleep 0.5
shot "$shots/visit_again.png"
no_text "$shots/visit_again.png" 0 160 300 160 "the top ten after play again"
no_text "$shots/visit_again.png" 0 400 300 18 "the play-again question after play again"
has_text "$shots/visit_again.png" 80 85 35 18 '"100" after play again'
tap Return
sleep 3.6

# Water with Left and Right in turn, and the three beers, lengthen the visit. The throws come
# once the tolerance is well below 100, so that none is lost to the cap.
sleep 18
for i in $(seq 14); do tap Left; sleep 0.6; tap Right; sleep 0.6; done
for i in 1 2 3; do tap Return; sleep 0.3; done
took=$(wait_records 2 120) || fail "no second record"
second=$(records "$scores" | awk -F'\t' '$1 == "tester" { print $2 }' | sort -n | tail -1)
[ "$second" -ge $((seconds + 5)) ] || fail "water and beer did not lengthen the visit ($second s after $seconds s)"

# "n" at game over quits with status 0.
sleep 0.5
tap n
wait_exit 3 || fail "still running after n at game over"; status=$GAME_STATUS
[ "$status" = 0 ] || fail "exit status $status"
[ -s "$game/out.txt" ] && fail "the game printed: $(cat "$game/out.txt")"
echo "visits: without water $seconds s, with water and beer $second s"
