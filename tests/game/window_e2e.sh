#!/usr/bin/env bash
# The real game under the virtual X server, driven by real key events: its window, and the ways out.
set -uo pipefail
exe="$1"
export SAUNO_MESSAGES=stderr
shots="$(dirname "$exe")/screenshots"
mkdir -p "$shots"
pid=""
fail() { echo "FAIL: $*"; [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; exit 1; }
# The virtual X server now and then refuses a new connection: each X tool gets a few tries.
x() {
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do "$@" && return 0; sleep 0.05; done
  return 1
}

starts=0
start_game() {
  starts=$((starts + 1))
  "$exe" &
  pid=$!
  wid=""
  for _ in $(seq 100); do
    wid=$(xdotool search --name '^Form1$' 2>/dev/null | head -1)
    [ -n "$wid" ] && x xwininfo -id "$wid" 2>/dev/null | grep -q 'IsViewable' && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "no window named Form1 (start $starts; game alive: $(kill -0 "$pid" 2>/dev/null && echo yes || echo no))"
  x xdotool windowfocus --sync "$wid" || fail "cannot focus the window"
}

tap() { x xdotool keydown "$1"; sleep 0.08; x xdotool keyup "$1"; }
alt_f4() { x xdotool keydown alt; x xdotool keydown F4; sleep 0.08; x xdotool keyup F4; x xdotool keyup alt; }

# Waits up to $1 seconds for the game to end; its exit status goes to $status. It runs in this
# shell, not a subshell, so that the game is still this shell's child to wait for.
wait_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
  wait "$pid"
  status=$?
}

# The window: caption, client area, place, and the room drawn in it.
start_game
[ "$(x xdotool getwindowname "$wid")" = "Form1" ] || fail "caption"
info=$(x xwininfo -id "$wid")
grep -q 'Width: 688' <<<"$info" || fail "client width: $info"
grep -q 'Height: 452' <<<"$info" || fail "client height: $info"
grep -q 'Absolute upper-left X:  193' <<<"$info" || fail "left: $info"
grep -q 'Absolute upper-left Y:  169' <<<"$info" || fail "top: $info"
# The first frame waits for the seven textures: give it a few seconds.
for _ in $(seq 50); do
  sleep 0.1
  x xwd -id "$wid" -silent -out "$shots/start.xwd" || fail "screenshot"
  mean=$(convert "xwd:$shots/start.xwd" -format '%[fx:mean]' info:)
  awk -v m="$mean" 'BEGIN { exit !(m > 0.15) }' && break
done
convert "xwd:$shots/start.xwd" "$shots/start.png"
png_start="$shots/start.png"
awk -v m="$mean" 'BEGIN { exit !(m > 0.15) }' || fail "the room is not drawn (mean $mean)"
# The far wall's boards left of the stove, and the stove's iron below the stones.
wall=$(convert "$png_start" -crop 200x100+50+150 +repage -format '%[fx:mean.r]' info: 2>/dev/null)
iron=$(convert "$png_start" -crop 200x60+340+330 +repage -format '%[fx:mean]' info: 2>/dev/null)
awk -v w="$wall" -v i="$iron" 'BEGIN { exit !(w > 0.5 && i < 0.35) }' || fail "no wall and stove where they belong (wall $wall, stove $iron)"

# Pixels of the screen texts: how many are white (every channel above 90 %) in a rectangle.
white() { convert "$1" -crop "$4x$5+$2+$3" +repage -separate -evaluate-sequence min -threshold 90% \
            -format '%[fx:round(mean*w*h)]' info:; }
some() { [ "$(white "$@")" -gt 10 ] || fail "no text at $2,$3 ($4 x $5) in $(basename "$1")"; }
none() { [ "$(white "$@")" -eq 0 ] || fail "text where none belongs: $2,$3 ($4 x $5) in $(basename "$1")"; }
png="$shots/start.png"
some "$png" 0 0 200 22        # "Press enter to start!" at the top-left
none "$png" 0 22 688 43       # nothing between it and the first value row
none "$png" 0 62 688 3        # the texts at y 65 hang below it
for row in "65 100" "85 80" "105 70"; do
  read -r y x <<<"$row"
  some "$png" 0 "$y" $((x - 8)) 17   # "Temperature:", "Toleration:", "Beer left:"
  none "$png" $((x - 4)) "$y" 4 17   # ends before its value
  some "$png" "$x" "$y" 30 17        # "70", "100", "3"
done
none "$png" 0 125 300 327    # below them only the wall: the stones right of it have white glints

# Escape, then "y": status 0 within two seconds.
tap Escape
tap y
wait_exit 2 || fail "still running two seconds after Escape, y"
[ "$status" = 0 ] || fail "exit status $status after Escape, y"

# Escape, "n" keeps playing; Alt+F4 ends it.
start_game
tap Escape
tap n
sleep 0.3
kill -0 "$pid" 2>/dev/null || fail "ended after Escape, n"
alt_f4
wait_exit 2 || fail "still running after Alt+F4"
[ "$status" = 0 ] || fail "exit status $status after Alt+F4"

# Quitting while the tolerance drain ticks on its own thread never hangs.
start_game
tap Return
sleep 4.5
x xwd -id "$wid" -silent -out "$shots/visit.xwd" || fail "screenshot during a visit"
convert "xwd:$shots/visit.xwd" "$shots/visit.png"
png="$shots/visit.png"
some "$png" 0 0 220 45        # "SAUNO!" in the countdown font
some "$png" 0 50 160 15       # "Time spent in the sauna:"
some "$png" 170 50 20 15      # its clock
alt_f4
wait_exit 2 || fail "still running after Alt+F4 during a visit"
[ "$status" = 0 ] || fail "exit status $status after Alt+F4 during a visit"

# Closing the window ends the game as well.
start_game
x xdotool windowclose "$wid" 2>/dev/null
wait_exit 3 || fail "still running after its window was closed"

echo "1 passed, 0 failed"
