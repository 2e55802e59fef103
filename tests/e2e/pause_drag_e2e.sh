#!/usr/bin/env bash
# Pause and view: Escape stops the clock and the drain and asks, "n" resumes them; a left-button
# drag turns the view while the texts stay where they are; Escape and "y" quit.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
make_game "$game" "$scores" '[Misc]\nName=pauser\n'
start_game "$game"

# The drag: the room turns, the white text of the labels keeps its pixels.
wait_drawn "$shots/drag_before.png"
read -r wx wy < <(x xwininfo -id "$GAME_WID" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { print x, $4 }')
x xdotool mousemove $((wx + 340)) $((wy + 260))
sleep 0.1
x xdotool mousedown 1
for i in $(seq 12); do x xdotool mousemove_relative -- 6 2; sleep 0.03; done
x xdotool mouseup 1
sleep 0.4
shot "$shots/drag_after.png"
changed=$(compare -metric AE -fuzz 8% -crop 480x300+200+140 "$shots/drag_before.png" "$shots/drag_after.png" null: 2>&1)
[ "${changed%% *}" -gt 2000 ] 2>/dev/null || fail "the view did not turn ($changed pixels changed)"
# Edge pixels blend with the room behind them; a text moved by one pixel would change hundreds.
white_mask "$shots/drag_before.png" 0 60 140 70 "$E2E_SCRATCH/m1.png"
white_mask "$shots/drag_after.png" 0 60 140 70 "$E2E_SCRATCH/m2.png"
moved=$(compare -metric AE "$E2E_SCRATCH/m1.png" "$E2E_SCRATCH/m2.png" null: 2>&1)
whites=$(white_pixels "$shots/drag_before.png" 0 60 140 70)
[ "$whites" -ge 300 ] || fail "no texts before the drag"
[ "$((moved * 20))" -le "$whites" ] || fail "the texts moved with the view ($moved of $whites pixels)"

# A visit paused for 8 s: its record does not count the pause.
tap Return
sleep 8.6
tap Escape
sleep 0.4
shot "$shots/pause.png"
n=$(white_pixels "$shots/pause.png" 0 150 260 18)
[ "$n" -ge 12 ] || fail "no quit question after Escape"
paused_at=$SECONDS
sleep 8
tap n
sleep 0.4
shot "$shots/resumed.png"
n=$(white_pixels "$shots/resumed.png" 0 150 260 18)
[ "$n" -le 3 ] || fail "the quit question stays after n"
until records "$scores" | grep -q .; do
  [ $((SECONDS - paused_at)) -ge 80 ] && fail "no record 80 s after the pause"
  kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended: $(cat "$game/out.txt")"
  sleep 0.25
done
total=$((SECONDS - paused_at + 5))
seconds=$(records "$scores" | head -1 | cut -f2)
[ "$seconds" -ge 43 ] && [ "$seconds" -le 48 ] || fail "the paused visit lasted $seconds s"
[ "$total" -ge 50 ] || fail "the visit ended $total s after the countdown: the pause did not stop the drain"

# Escape, "y": status 0.
tap Escape
tap y
wait_exit 3 || fail "still running after Escape, y"; status=$GAME_STATUS
[ "$status" = 0 ] || fail "exit status $status"
echo "paused visit: $seconds s in the sauna, $total s on the clock"
