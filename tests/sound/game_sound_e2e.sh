#!/usr/bin/env bash
# The real game's sound, recorded by OpenAL Soft's wave-file output for about 12 seconds: the fire
# burns throughout, and the first hiss of water on the stones starts at 10 s.
set -uo pipefail
exe="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '[general]\ndrivers=wave\n[wave]\nfile=%s/out.wav\n' "$work" > "$work/alsoft.conf"
fail() { echo "FAIL: $*"; exit 1; }

ALSOFT_CONF="$work/alsoft.conf" SAUNO_MESSAGES=stderr "$exe" > "$work/out.txt" 2> "$work/err.txt" &
pid=$!
sleep 12.5
kill "$pid" 2>/dev/null
wait "$pid"
[ -s "$work/err.txt" ] && fail "the game wrote to standard error: $(head -3 "$work/err.txt")"
[ -s "$work/out.wav" ] || fail "nothing was recorded"

# RMS in dB of the whole band, and above 4 kHz, over half a second from $1.
level() { sox "$work/out.wav" -n trim "$1" 0.5 ${2:+sinc $2} stats 2>&1 | awk '/RMS lev dB/ { print $4 }'; }
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a != "-inf" && a + 0 > b + 0) }'; }

length=$(soxi -D "$work/out.wav" 2>/dev/null)
above "$length" 11.5 || fail "only $length s recorded"
# The fire: never silent from the second second on (its quiet moments are about -45 dB).
for t in 2 3 4 5 6 7 8 9 9.5 10.5 11; do
  l=$(level "$t")
  above "$l" -55 || fail "the fire is silent at $t s ($l dB)"
done
# The hiss: its steam lifts the high band by far more than the fire's crackles ever do.
before=$(level 9.4 4000)
at=$(level 10.0 4000)
above "$at" "$(awk -v b="$before" 'BEGIN { print b + 10 }')" ||
  fail "no hiss at 10 s (high band $at dB, before it $before dB)"
echo "fire and hiss heard: high band $before dB before 10 s, $at dB from 10 s"
