#!/usr/bin/env bash
# The room from three turned views and the steam of a throw, as a player sees them: each view
# has the colour spread of a furnished room and the warm balance of the stove's light, and the
# steam shows over the stones and is gone again. With SAUNO_DOCS_DIR set, the shots go there too.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
e2e_begin
shots=$SHOTS game=$GAME scores=$SCORES
make_game "$game" "$scores" '[Misc]\nName=viewer\n'
start_game "$game"
wait_drawn "$shots/view_start.png"
read -r wx wy < <(x xwininfo -id "$GAME_WID" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { print x, $4 }')

# A left-button drag of DX, DY pixels from the middle of the window, in twenty steps.
drag() {
  local dx=$1 dy=$2 i
  x xdotool mousemove $((wx + 340)) $((wy + 226)); sleep 0.1
  x xdotool mousedown 1
  for i in $(seq 20); do x xdotool mousemove_relative -- $((dx / 20)) $((dy / 20)); sleep 0.02; done
  x xdotool mouseup 1
  sleep 0.5
}
# The room below the texts: its colours must vary like a furnished room's, and lean warm.
check_view() {
  local shot="$1" spread red blue
  spread=$(convert "$shot" -crop 688x330+0+122 +repage -colorspace gray -format '%[fx:standard_deviation]' info:)
  red=$(convert "$shot" -crop 688x330+0+122 +repage -format '%[fx:mean.r]' info:)
  blue=$(convert "$shot" -crop 688x330+0+122 +repage -format '%[fx:mean.b]' info:)
  awk -v s="$spread" 'BEGIN { exit !(s >= 0.06) }' || fail "$shot is flat: grey spread $spread"
  awk -v r="$red" -v b="$blue" 'BEGIN { exit !(r >= 1.3 * b) }' || fail "$shot is not warm: red $red, blue $blue"
  echo "$(basename "$shot"): spread $spread, red $red, blue $blue"
}

drag 0 20
shot "$shots/view_stove.png"
check_view "$shots/view_stove.png"
drag 300 0
shot "$shots/view_benches.png"
check_view "$shots/view_benches.png"
drag 100 0
shot "$shots/view_door.png"
check_view "$shots/view_door.png"
# Benches are their own darker wood, not the walls' pale boards: the benches' view holds a
# large share of dark brown.
dark=$(convert "$shots/view_benches.png" -crop 688x330+0+122 +repage \
  -fx '(r<0.45&&r>1.2*b&&g<0.35)?1:0' -format '%[fx:mean]' info:)
awk -v d="$dark" 'BEGIN { exit !(d >= 0.2) }' || fail "no dark bench wood in view: $dark"

# Back to the first view; a throw raises steam over the stones that is gone two seconds on.
drag -400 -20
tap Return
sleep 3.6
steam_area() { mean_of "$1" 340 90 160 110; }
shot "$shots/steam_before.png"
tap Left
sleep 0.5
shot "$shots/steam.png"
sleep 3
shot "$shots/steam_after.png"
before=$(steam_area "$shots/steam_before.png")
during=$(steam_area "$shots/steam.png")
after=$(steam_area "$shots/steam_after.png")
awk -v a="$before" -v b="$during" 'BEGIN { exit !(b >= a + 0.04) }' || fail "no steam: $before before the throw, $during after"
awk -v a="$before" -v c="$after" 'BEGIN { d = c - a; exit !(d < 0.015 && d > -0.015) }' || fail "the steam stays: $before before, $after 3.5 s on"
echo "steam: $before before, $during at 0.5 s, $after at 3.5 s"

if [ -n "${SAUNO_DOCS_DIR:-}" ]; then
  for f in view_stove view_benches view_door steam; do cp "$shots/$f.png" "$SAUNO_DOCS_DIR/$f.png"; done
fi
tap Escape
tap y
wait_exit 3 || fail "still running after Escape, y"; status=$GAME_STATUS
[ "$status" = 0 ] || fail "exit status $status"
