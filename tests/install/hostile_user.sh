# Sourced by the package test, after two_players (its display and its users exist).
# hostile_user LAUNCHER SCORES: an ordinary player of the machine (not in the scores group)
# runs the installed game with every variable it or its libraries read pointed at the table, its
# folder and /tmp, those of the GL driver's and the font library's caches at the table's folder,
# with a settings file and a home of their own. The game runs with the scores group, yet afterwards the table's files are
# byte for byte as they were and nothing was made anywhere those variables named.
hostile_user() {
  local launcher="$1" scores="$2" user=sauno-e2e-a
  local home="$E2E_SCRATCH/hostile-home" bait="/tmp/sauno-hostile-$$"
  mkdir -p "$home"
  printf '[Graphics]\nmode=windowed\n[Misc]\nName=intruder\n' >"$home/settings.ini"
  chown -R "$user" "$home"
  names() { ls -A "$scores" "$(dirname "$scores")"; }
  local sums_before names_before
  sums_before=$(sha256sum "$scores"/*)
  names_before=$(names)
  local target game groups i
  for target in "$scores/enkat.DAT" "$scores/enkat.IDX" "$scores" "$scores/made" "$bait"; do
    (cd "$home" && exec runuser -u "$user" -- env -i PATH=/usr/bin:/bin DISPLAY="$DISPLAY" HOME="$home" \
      XDG_CONFIG_HOME="$home" XDG_CACHE_HOME="$scores" MESA_SHADER_CACHE_DIR="$scores" \
      SAUNO_STARTUP_REPORT="$target" SAUNO_STORE_FAIL_WRITE=1 SAUNO_STORE_KILL_AFTER_WRITE=1 \
      SAUNO_MESSAGES=stderr "$launcher") >"$E2E_SCRATCH/hostile.out" 2>&1 &
    E2E_PIDS+=("$!")
    game=""
    for i in $(seq 150); do
      game=$(pgrep -u "$user" -x sauno | head -1)
      [ -n "$game" ] && x xdotool search --all --pid "$game" --name '^Form1$' >/dev/null 2>&1 && break
      game=""
      sleep 0.1
    done
    [ -n "$game" ] || fail "no game window for the hostile user: $(cat "$E2E_SCRATCH/hostile.out")"
    # Its frames are drawn, its shaders compiled, its fonts found: what it would write, it has.
    sleep 2
    groups=$(awk '/^Gid:/ {print $2, $3, $4, $5}' "/proc/$game/status")
    [ "$(tr ' ' '\n' <<<"$groups" | sort -u | wc -l)" = 1 ] || fail "the running game still holds another group: Gid $groups"
    pkill -9 -u "$user" -x sauno
    for i in $(seq 50); do pgrep -u "$user" -x sauno >/dev/null || break; sleep 0.1; done
  done
  [ "$(sha256sum "$scores"/*)" = "$sums_before" ] || fail "the hostile user changed the table: $(sha256sum "$scores"/*)"
  [ "$(names)" = "$names_before" ] || fail "the hostile user made files: $(diff <(echo "$names_before") <(names))"
  ls -d "$bait"* 2>/dev/null | grep . && fail "the hostile user made $bait"
  return 0
}
