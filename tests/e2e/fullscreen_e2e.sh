#!/usr/bin/env bash
# Full screen at the screen's own size: one second after start the game covers the screen, its
# texts stand at the same pixels from the top-left as in the window, and quitting from there
# leaves the display as it was.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
read -r sw sh < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
[ -n "$sw" ] || fail "no screen size"
make_game "$game" "$scores" "[Graphics]\nresow=$sw\nresoh=$sh\nmode=fullscreen\n"
start_game "$game"
full=""
started=$SECONDS
until [ -n "$full" ]; do
  for w in $(xdotool search --pid "$GAME_PID" 2>/dev/null); do
    g=$(x xwininfo -id "$w" 2>/dev/null)
    grep -q IsViewable <<<"$g" && grep -q "Width: $sw" <<<"$g" && grep -q "Height: $sh" <<<"$g" && full=$w && break
  done
  [ $((SECONDS - started)) -ge 6 ] && fail "no full-screen window 6 s after start"
  sleep 0.1
done
GAME_WID=$full
focus
sleep 0.3
shot "$shots/fullscreen.png"
for probe in "0 0 160 20 Press" "0 65 90 18 Temperature" "100 65 30 18 70" "0 85 75 18 Toleration" \
             "80 85 35 18 100" "0 105 65 18 Beer" "70 105 20 18 3"; do
  set -- $probe
  n=$(white_pixels "$shots/fullscreen.png" "$1" "$2" "$3" "$4")
  [ "$n" -ge 12 ] || fail "\"$5\" is not at $1,$2 in full screen ($n white pixels)"
done
room=$(mean_of "$shots/fullscreen.png" 200 200 600 400)
awk -v m="$room" 'BEGIN { exit !(m > 0.04) }' || fail "the room is black in full screen (mean $room)"
tap Escape
tap y
wait_exit 3 || fail "still running after Escape, y in full screen"; status=$GAME_STATUS
[ "$status" = 0 ] || fail "exit status $status"
read -r aw ah < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
[ "$aw x $ah" = "$sw x $sh" ] || fail "display left at $aw x $ah"
echo "full screen $sw x $sh: texts in place"
