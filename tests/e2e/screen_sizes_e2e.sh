#!/usr/bin/env bash
# Full-screen sizes the display has no mode for, on screens of several sizes (a virtual server
# has one mode, its screen's). A smaller request, and a zero or negative one, takes the smallest
# mode at least as large and covers the whole screen: the screen then shows exactly what a
# request of the screen's own size shows. A request larger than the screen is refused with one
# message and the game goes on in its window.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
SCORES="$E2E_SCRATCH/scores/data"
SHOTS="$BUILD/screenshots"
mkdir -p "$SHOTS"
passed=0

screen_size() { x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }'; }
root_shot() {
  x xwd -root -silent -out "$1.xwd" || fail "screenshot of the screen"
  convert "xwd:$1.xwd" "$1" || fail "cannot convert the screenshot"
  rm -f "$1.xwd"
}
differing_pixels() { compare -metric AE "$1" "$2" null: 2>&1; }
quit_game() {
  focus
  tap Escape
  tap y
  local i
  for i in $(seq 60); do kill -0 "$GAME_PID" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$GAME_PID" 2>/dev/null && fail "$1: still running after Escape, y"
  wait "$GAME_PID"
  local status=$?
  [ "$status" = 0 ] || fail "$1: exit status $status"
}

# Runs the game full screen with SETTINGS on the current server and leaves a picture of the
# whole screen in $SHOTS/NAME.png once the room and its texts are drawn.
#   full_screen NAME SETTINGS
full_screen() {
  local name="$1" game="$E2E_SCRATCH/$1" sw sh w g full="" i
  read -r sw sh < <(screen_size)
  make_game "$game" "$SCORES" "$2mode=fullscreen\n"
  start_game "$game"
  for i in $(seq 60); do
    for w in $(xdotool search --pid "$GAME_PID" 2>/dev/null); do
      g=$(x xwininfo -id "$w" 2>/dev/null)
      grep -q IsViewable <<<"$g" && grep -q "Width: $sw" <<<"$g" && grep -q "Height: $sh" <<<"$g" &&
        grep -q "Absolute upper-left X:  0" <<<"$g" && grep -q "Absolute upper-left Y:  0" <<<"$g" &&
        full=$w && break
    done
    [ -n "$full" ] && break
    sleep 0.1
  done
  [ -n "$full" ] || fail "$name: no window covering the $sw x $sh screen: $(cat "$game/out.txt")"
  GAME_WID=$full
  wait_drawn "$SHOTS/sizes-$name-window.png"
  sleep 0.3
  root_shot "$SHOTS/sizes-$name.png"
  [ -s "$game/out.txt" ] && fail "$name: said \"$(cat "$game/out.txt")\""
  quit_game "$name"
}

# The picture of NAME must be the picture of REFERENCE, pixel for pixel.
same_as() {
  local n
  n=$(differing_pixels "$SHOTS/sizes-$1.png" "$SHOTS/sizes-$2.png")
  [ "$n" = 0 ] || fail "$1 differs from $2 in $n pixels"
  echo "$1: covers the screen as $2 does"
  passed=$((passed + 1))
}

own_display 800x600x24
full_screen 800x600-screen "[Graphics]\nresow=800\nresoh=600\n"
full_screen default "[Graphics]\n"
same_as default 800x600-screen
full_screen zero "[Graphics]\nresow=0\nresoh=0\n"
same_as zero 800x600-screen
full_screen negative "[Graphics]\nresow=-640\nresoh=0xFFFFFFFF\n"
same_as negative 800x600-screen
kill "$E2E_XVFB"; wait "$E2E_XVFB" 2>/dev/null

own_display 1280x1024x24
full_screen 1280x1024-screen "[Graphics]\nresow=1280\nresoh=1024\n"
full_screen 1024x768 "[Graphics]\nresow=1024\nresoh=768\n"
same_as 1024x768 1280x1024-screen
kill "$E2E_XVFB"; wait "$E2E_XVFB" 2>/dev/null

# Larger than every mode: one message, and the window plays on.
own_display 1024x768x24
for settings in "resow=100000\nresoh=100000" "resow=1025\nresoh=480" "resow=2147483647\nresoh=-2147483648"; do
  game="$E2E_SCRATCH/too-large"
  rm -rf "$game"
  make_game "$game" "$SCORES" "[Graphics]\n$settings\nmode=fullscreen\n"
  start_game "$game"
  sleep 3.5
  [ "$(cat "$game/out.txt")" = "Sauno: Unsupported video mode" ] ||
    fail "$settings: not one message: $(cat "$game/out.txt")"
  for w in $(xdotool search --onlyvisible --pid "$GAME_PID" 2>/dev/null); do
    [ "$w" = "$GAME_WID" ] || fail "$settings: a window besides the game's: $(x xwininfo -id "$w")"
  done
  x xwininfo -id "$GAME_WID" | grep -q IsViewable || fail "$settings: the game's window went away"
  wait_drawn "$E2E_SCRATCH/too-large.png"
  quit_game "$settings"
  echo "$(tr '\n' ' ' <<<"$(printf '%b' "$settings")"): refused once, the window plays on"
  passed=$((passed + 1))
done
echo "$passed passed, 0 failed"
