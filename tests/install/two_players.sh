# Sourced by the installation tests, after e2e_lib.sh. two_players LAUNCHER SCORES: two
# players of the machine (users made for the test and removed after it, neither in the scores
# group), each running the installed game through its launcher, both store a visit in the one
# shared table; neither can write the table's files except through the game.
two_players() {
  local launcher="$1" scores="$2"
  made_users=()
  for u in sauno-e2e-a sauno-e2e-b; do
    if ! id "$u" >/dev/null 2>&1; then
      useradd --no-create-home --shell /usr/sbin/nologin "$u" || fail "cannot add user $u"
      made_users+=("$u")
    fi
    id -nG "$u" | grep -qw games && fail "$u is in the games group"
  done
  remove_users() {
    local u
    for u in sauno-e2e-a sauno-e2e-b; do pkill -9 -u "$u" -x sauno 2>/dev/null; done
    for u in "${made_users[@]}"; do userdel "$u" 2>/dev/null; done
    # A test's own cleaning (an installed package), when it has one.
    if declare -F after_players >/dev/null; then after_players; fi
    e2e_cleanup
  }
  trap remove_users EXIT
  own_display
  start_as() {
    (cd / && exec runuser -u "$1" -- env DISPLAY="$DISPLAY" SAUNO_MESSAGES=stderr HOME=/tmp "$launcher") \
      >"$E2E_SCRATCH/$1.out" 2>&1 &
    GAME_PID=$!
    E2E_PIDS+=("$GAME_PID")
    local i
    for i in $(seq 150); do
      GAME_WID=$(xdotool search --all --pid "$(pgrep -P "$GAME_PID" -x sauno || echo "$GAME_PID")" --name '^Form1$' 2>/dev/null | head -1)
      [ -n "$GAME_WID" ] && x xwininfo -id "$GAME_WID" 2>/dev/null | grep -q IsViewable && break
      GAME_WID=""
      sleep 0.1
    done
    [ -n "$GAME_WID" ] || fail "no window for $1: $(cat "$E2E_SCRATCH/$1.out")"
    focus
  }
  before=$(records "$scores" | grep -c .)
  start_as sauno-e2e-a
  tap Return
  start_as sauno-e2e-b
  tap Return
  started=$SECONDS
  until [ "$(records "$scores" | grep -c .)" -ge $((before + 2)) ]; do
    [ $((SECONDS - started)) -ge 90 ] &&
      fail "the players stored $(($(records "$scores" | grep -c .) - before)) of 2 results: $(cat "$E2E_SCRATCH"/sauno-e2e-*.out)"
    sleep 0.5
  done
  "$BUILD/sauno-table" verify "$scores" enkat >/dev/null || fail "the shared table does not verify"
  for f in "$scores"/*; do
    [ "$(stat -c '%G' "$f")" = games ] || fail "$(basename "$f") left the scores group"
  done
  local f
  for f in "$scores"/*; do
    runuser -u sauno-e2e-a -- sh -c ": >> '$f'" 2>/dev/null && fail "a player can write $(basename "$f") without the game"
  done
}
