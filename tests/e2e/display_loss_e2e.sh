#!/usr/bin/env bash
# The X server goes away under the running game: in the window, and in full screen at the
# screen's size and at others. Each time the game must be gone within a second, with status 1
# and one line on standard error saying why.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/e2e_lib.sh"
SCORES="$E2E_SCRATCH/scores/data"
passed=0

# Milliseconds since the epoch.
now_ms() { date +%s%3N; }

# Whether the game still runs: once it has ended, its main thread is a zombie while the kernel
# frees its memory. That is done by whichever of its threads lets go of the memory last, often
# the GL driver's shader-cache writer, which runs at the lowest priority: on a busy machine that
# can take seconds after the game itself has stopped.
running() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

#   lose_display NAME SCREEN SIGNAL SETTINGS
lose_display() {
  local name="$1" screen="$2" signal="$3" settings="$4" game="$E2E_SCRATCH/$1" i w sw sh full=""
  own_display "$screen"
  make_game "$game" "$SCORES" "$settings"
  start_game "$game"
  if grep -q 'mode=fullscreen' <<<"$settings"; then
    read -r sw sh < <(x xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
    for i in $(seq 60); do
      for w in $(xdotool search --pid "$GAME_PID" 2>/dev/null); do
        x xwininfo -id "$w" 2>/dev/null | grep -q "Width: $sw" && full=$w && break
      done
      [ -n "$full" ] && break
      sleep 0.1
    done
    [ -n "$full" ] || fail "$name: no full-screen window"
    GAME_WID=$full
  fi
  wait_drawn "$E2E_SCRATCH/$name.png"
  kill "-$signal" "$E2E_XVFB"
  wait "$E2E_XVFB" 2>/dev/null
  E2E_XVFB=""
  local lost; lost=$(now_ms)
  while running "$GAME_PID" && [ $(($(now_ms) - lost)) -lt 1000 ]; do sleep 0.02; done
  running "$GAME_PID" && fail "$name: still running 1 s after the display went away" \
    "($(awk '{ print $14 + $15 }' "/proc/$GAME_PID/stat") CPU ticks)"
  local ended=$(($(now_ms) - lost))
  wait "$GAME_PID"
  local status=$?
  [ "$status" = 1 ] || fail "$name: exit status $status"
  [ "$(wc -l <"$game/out.txt")" = 1 ] || fail "$name: not one line of output: $(cat "$game/out.txt")"
  grep -q '^sauno: lost the connection to the display :[0-9]*$' "$game/out.txt" ||
    fail "$name: said \"$(cat "$game/out.txt")\""
  echo "$name: ended in $ended ms, its memory freed in $(($(now_ms) - lost)) ms, status 1"
  passed=$((passed + 1))
}

lose_display windowed 1024x768x24 TERM "[Graphics]\nmode=windowed\n"
lose_display screen-size 1024x768x24 KILL "[Graphics]\nresow=1024\nresoh=768\nmode=fullscreen\n"
lose_display 800x600-on-1024x768 1024x768x24 KILL "[Graphics]\nresow=800\nresoh=600\nmode=fullscreen\n"
lose_display default-on-1280x1024 1280x1024x24 TERM "[Graphics]\nmode=fullscreen\n"
lose_display zero-width 800x600x24 KILL "[Graphics]\nresow=0\nmode=fullscreen\n"
echo "$passed passed, 0 failed"
