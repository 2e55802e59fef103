# Shared by the end-to-end scripts: a virtual X server of the script's own, a game of its own in
# a scratch folder, real key and mouse events, screenshots and pixel probes.
# Source it after `set -uo pipefail`; BUILD is the build directory.

E2E_SCRATCH=$(mktemp -d)
E2E_PIDS=()
E2E_XVFB=""
e2e_cleanup() {
  local p
  for p in "${E2E_PIDS[@]}"; do { kill -9 "$p" && wait "$p"; } 2>/dev/null; done
  [ -n "$E2E_XVFB" ] && kill "$E2E_XVFB" 2>/dev/null
  rm -rf "$E2E_SCRATCH"
}
trap e2e_cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# The display refuses a new connection now and then: each X tool gets a few tries.
x() {
  local i
  for i in 1 2 3 4 5 6 7 8 9 10; do "$@" && return 0; sleep 0.05; done
  return 1
}

# A server of our own, so that scripts run side by side without sharing keyboard focus.
#   own_display [WIDTHxHEIGHTxDEPTH [XVFB-OPTION...]]   (default 1024x768x24)
own_display() {
  local fdfile="$E2E_SCRATCH/display" i screen="${1:-1024x768x24}"
  shift $(($# > 0 ? 1 : 0))
  rm -f "$fdfile"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp "$@" 3>"$fdfile" 2>/dev/null &
  E2E_XVFB=$!
  for i in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.05; done
  [ -s "$fdfile" ] || fail "no virtual X server"
  export DISPLAY=":$(tr -d '\n' <"$fdfile")"
  unset XAUTHORITY
}

# The usual start of a script: its own server, the screenshot folder, a game folder and a
# high-score directory of its own (GAME, SCORES, SHOTS).
e2e_begin() {
  own_display
  SHOTS="$BUILD/screenshots"
  mkdir -p "$SHOTS"
  GAME="$E2E_SCRATCH/game"
  SCORES="$E2E_SCRATCH/scores/data"
}

# A game folder of its own: the game as installed, its description naming SCORES as the
# high-score directory, a fresh table there unless one exists, and SETTINGS as settings.ini.
#   make_game FOLDER SCORES SETTINGS-TEXT
make_game() {
  local dir="$1" scores="$2" settings="$3"
  mkdir -p "$dir/data" "$scores"
  cp "$BUILD/installed/sauno" "$BUILD/sauno-fonts.conf" "$dir/"
  cp "$BUILD/data/sauna2.3ds" "$BUILD"/data/*.jpg "$dir/data/" 2>/dev/null
  sed "s|@SAUNO_INSTALL_SCORE_DIR@|$scores|" "$BUILD/installed/sauno.scene.in" > "$dir/sauno.scene"
  printf '%b' "$settings" > "$dir/settings.ini"
  if ! ls "$scores" | grep -qi '^enkat\.dat$'; then
    "$BUILD/sauno-table" create-scores "$scores" >/dev/null || fail "cannot make the table in $scores"
  fi
}

# Starts the game in FOLDER; sets GAME_PID and GAME_WID (its window, shown and focused).
start_game() {
  local dir="$1" i
  (cd "$dir" && exec env SAUNO_MESSAGES=stderr ./sauno) >"$dir/out.txt" 2>&1 &
  GAME_PID=$!
  E2E_PIDS+=("$GAME_PID")
  GAME_WID=""
  for i in $(seq 150); do
    GAME_WID=$(xdotool search --all --pid "$GAME_PID" --name '^Form1$' 2>/dev/null | head -1)
    [ -n "$GAME_WID" ] && x xwininfo -id "$GAME_WID" 2>/dev/null | grep -q 'IsViewable' && break
    GAME_WID=""
    kill -0 "$GAME_PID" 2>/dev/null || fail "the game ended at start: $(cat "$dir/out.txt")"
    sleep 0.1
  done
  [ -n "$GAME_WID" ] || fail "no window named Form1"
  focus
}
focus() { x xdotool windowfocus --sync "$GAME_WID" || fail "cannot focus the window"; }

tap() { x xdotool keydown "$1"; sleep 0.08; x xdotool keyup "$1"; sleep 0.05; }
hold() { x xdotool keydown "$1"; sleep "$2"; x xdotool keyup "$1"; sleep 0.05; }

# Waits up to $1 seconds for the game to end and leaves its exit status in GAME_STATUS.
# It must run in this shell, not in $(...): a subshell cannot wait for this shell's child
# and gets no status when the game ends while it polls.
wait_exit() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$GAME_PID" 2>/dev/null; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.05
  done
  wait "$GAME_PID"
  GAME_STATUS=$?
}

# Screenshot of window $2 (default: the game's) into $1 (PNG).
shot() {
  local out="$1" wid="${2:-$GAME_WID}"
  x xwd -id "$wid" -silent -out "$out.xwd" || fail "screenshot"
  convert "xwd:$out.xwd" "$out" || fail "cannot convert the screenshot"
  rm -f "$out.xwd"
}

# Number of near-white pixels (the HUD's white text) in the rectangle W x H at X, Y of a shot.
white_pixels() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -fx '(r>0.85&&g>0.85&&b>0.85)?1:0' \
    -format '%[fx:round(mean*w*h)]' info:
}
# The cores of the white text of a rectangle as a black-and-white picture, for comparing shots.
white_mask() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -fx '(r>0.95&&g>0.95&&b>0.95)?1:0' "$6"
}
# Mean brightness 0..1 of a rectangle.
mean_of() { convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace gray -format '%[fx:mean]' info:; }
# Colour of one pixel as "r g b" 0..255.
pixel() { convert "$1" -format "%[fx:round(255*p{$2,$3}.r)] %[fx:round(255*p{$2,$3}.g)] %[fx:round(255*p{$2,$3}.b)]" info:; }

# The records of the game's table, one "name<TAB>seconds" line each, in index order.
records() { "$BUILD/sauno-table" list "$1" enkat --index aika; }

# Waits up to 10 s for the first frame with the room and the texts; leaves it in $1.
wait_drawn() {
  local i
  for i in $(seq 40); do
    shot "$1"
    [ "$(white_pixels "$1" 0 65 90 18)" -ge 12 ] && return 0
    sleep 0.25
  done
  fail "nothing drawn 10 s after the window showed"
}
