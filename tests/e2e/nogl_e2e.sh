#!/usr/bin/env bash
# The real game on a display without OpenGL: one message that says what is missing, a window
# that shows the plain window colour, and a visit that runs to its end and stores its record
# although nothing can be drawn. Full screen, asked for in the settings, is not tried.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
own_display 1024x768x24 -extension GLX
GAME="$E2E_SCRATCH/game"
SCORES="$E2E_SCRATCH/scores/data"
make_game "$GAME" "$SCORES" '[Misc]\nName=nogl\n[Graphics]\nmode=fullscreen\nresow=640\nresoh=480\n'
screen_size() { xdpyinfo | awk '/dimensions:/ { print $2; exit }'; }
start_game "$GAME"

sleep 2.5  # past the full-screen timer's second
message='OpenGL is not available on this display (GLX is not supported): the game runs, but nothing can be drawn.'
[ "$(grep -cF "$message" "$GAME/out.txt")" = 1 ] || fail "not one message about GL: $(cat "$GAME/out.txt")"
[ "$(grep -c . "$GAME/out.txt")" = 1 ] || fail "more than the one message: $(cat "$GAME/out.txt")"
[ "$(screen_size)" = 1024x768 ] || fail "the display mode changed to $(screen_size)"
shot "$E2E_SCRATCH/nogl.png"
[ "$(pixel "$E2E_SCRATCH/nogl.png" 300 200)" = "240 240 240" ] ||
  fail "the window is not erased in the window colour: $(pixel "$E2E_SCRATCH/nogl.png" 300 200)"

# A whole visit without water, played blind: its record is stored.
tap Return
start=$SECONDS
while [ "$(records "$SCORES" | grep -c .)" -lt 1 ]; do
  [ $((SECONDS - start)) -ge 70 ] && fail "no record 70 s after Enter"
  kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended during the visit: $(cat "$GAME/out.txt")"
  sleep 0.25
done
line=$(records "$SCORES" | head -1)
[ "${line%%$'\t'*}" = nogl ] || fail "record '$line'"
seconds=${line##*$'\t'}
[ "$seconds" -ge 43 ] && [ "$seconds" -le 48 ] || fail "the blind visit lasted $seconds s"

# "n" ends the game as usual.
sleep 0.5
tap n
wait_exit 10 || fail "the game did not end after n"
[ "$GAME_STATUS" = 0 ] || fail "the game ended with status $GAME_STATUS: $(cat "$GAME/out.txt")"
[ "$(grep -c . "$GAME/out.txt")" = 1 ] || fail "more messages during the visit: $(cat "$GAME/out.txt")"
echo "PASS: a display without GL gets one message and a whole visit"
