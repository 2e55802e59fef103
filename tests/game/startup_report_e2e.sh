#!/usr/bin/env bash
# The start-up report of the real game: nothing without SAUNO_STARTUP_REPORT; with it, the
# phases and the moment the first frame reached the shown window, written once that frame is
# up; and that frame already shows the room, its textures built before the window appeared.
set -uo pipefail
exe="$1"
export SAUNO_MESSAGES=stderr
dir=$(mktemp -d)
pid=""
fail() { echo "FAIL: $*"; [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null; rm -rf "$dir"; exit 1; }

# Without the variable: nothing printed, nothing written.
(cd "$dir" && exec env -u SAUNO_STARTUP_REPORT "$exe" >"$dir/quiet.txt" 2>&1) &
pid=$!
sleep 2.5
kill -TERM "$pid"; wait "$pid" || fail "the game did not end cleanly on SIGTERM"
pid=""
[ ! -s "$dir/quiet.txt" ] || fail "the game printed without being asked: $(head -3 "$dir/quiet.txt")"
[ -z "$(ls "$dir" | grep -v quiet.txt)" ] || fail "the game wrote files without being asked: $(ls "$dir")"

# With it.
report="$dir/report.txt"
SAUNO_STARTUP_REPORT="$report" "$exe" >"$dir/out.txt" 2>&1 &
pid=$!
for _ in $(seq 200); do [ -f "$report" ] && break; sleep 0.05; done
[ -f "$report" ] || fail "no report after 10 s: $(cat "$dir/out.txt")"
wid=$(xdotool search --name '^Form1$' 2>/dev/null | head -1)
[ -n "$wid" ] || fail "no game window"
xwd -silent -id "$wid" | convert xwd:- "$dir/first.png" 2>/dev/null || fail "no screenshot"
kill -TERM "$pid"; wait "$pid" || fail "the game did not end cleanly on SIGTERM"
pid=""

value() { awk -v k="$1" '$1 == k { print $2 }' "$report"; }
phase() { awk -v k="$1" '$1 == "phase" { n = $0; sub(/^phase /, "", n); sub(/ [^ ]*$/, "", n); if (n == k) print $NF }' "$report"; }
shown=$(value window_shown_ns) begun=$(value frame_begun_ns) frame=$(value first_frame_ns)
[ -n "$shown" ] && [ -n "$begun" ] && [ -n "$frame" ] || fail "report without its times: $(cat "$report")"
# The frame on screen was begun once the window was up: nothing else was waited for.
awk -v s="$shown" -v b="$begun" -v f="$frame" 'BEGIN { exit !(s > 0 && b >= s && f >= b) }' ||
  fail "times out of order: shown $shown, begun $begun, frame $frame"
for p in "description: parse" "description: components" "loaded: TSceneViewer" "loaded: TSMFMOD" model \
         "fonts: glyph sheets" textures "textures: decode" "ahead: decode and picture to RGBA" \
         "ahead: rescale to powers of two" "ahead: mipmaps" "textures: upload" frames; do
  [ -n "$(phase "$p")" ] || fail "no phase \"$p\" in the report: $(cat "$report")"
done
# The room's textures took the pixels made ahead: none of them was rescaled again at upload
# (the model's own small pictures, read later, are powers of two already).
[ -z "$(phase "textures: rescale to powers of two")" ] || fail "a texture was rescaled at upload: $(cat "$report")"
# The textures were built in the frame drawn before the window appeared.
awk -v t="$(phase textures)" -v f="$(phase frames)" 'BEGIN { exit !(t > 0 && f >= t) }' ||
  fail "the textures ($(phase textures) ms) were not built in the hidden frame ($(phase frames) ms)"
# And the first frame on screen is the room, not a black window.
mean=$(convert "$dir/first.png" -crop 480x300+200+130 +repage -format '%[fx:mean]' info:)
awk -v m="$mean" 'BEGIN { exit !(m > 0.04) }' || fail "the first frame on screen is black (mean $mean)"
rm -rf "$dir"
echo "startup report: ok (exec to first frame not timed here)"
