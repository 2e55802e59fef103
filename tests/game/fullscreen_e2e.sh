#!/usr/bin/env bash
# The real game with mode=fullscreen under the virtual X server: one second after start it shows
# a window over the whole screen, takes the keys there, and quits from it with the display restored.
set -uo pipefail
exe="$1"
export SAUNO_MESSAGES=stderr
pid=""
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() { echo "FAIL: $*"; [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; exit 1; }
x() {
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do "$@" && return 0; sleep 0.05; done
  return 1
}
tap() { x xdotool keydown "$1"; sleep 0.08; x xdotool keyup "$1"; }

read -r screen_w screen_h < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
[ -n "$screen_w" ] || fail "no screen size"

# A game of its own, so that its settings file is its own.
cp "$exe" "$home/sauno"
mkdir -p "$home/data"
printf '[Graphics]\nresow=%s\nresoh=%s\nmode=fullscreen\n' "$screen_w" "$screen_h" > "$home/settings.ini"

"$home/sauno" &
pid=$!

# A window covering the screen, not the main window.
full=""
for _ in $(seq 60); do
  for w in $(xdotool search --onlyvisible --class '^sauno$' 2>/dev/null); do
    geometry=$(x xwininfo -id "$w" 2>/dev/null)
    if grep -q "Width: $screen_w" <<<"$geometry" && grep -q "Height: $screen_h" <<<"$geometry"; then full=$w; break; fi
  done
  [ -n "$full" ] && break
  sleep 0.1
done
[ -n "$full" ] || fail "no full-screen window"
kill -0 "$pid" 2>/dev/null || fail "the game ended"
x xdotool windowfocus --sync "$full" || fail "cannot focus the full-screen window"

# Its keys reach the game: Escape, then "y" quits.
tap Escape
tap y
for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$pid" 2>/dev/null && fail "still running after Escape, y in full screen"
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "exit status $status"
read -r after_w after_h < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
[ "$after_w x $after_h" = "$screen_w x $screen_h" ] || fail "display left at $after_w x $after_h"
echo "1 passed, 0 failed"
