#!/usr/bin/env bash
# The Debian package as a player's machine gets it: made from the build, clean under lintian,
# installed with dpkg, the game laid out as Debian lays out games, two players of the machine
# storing their visits in the one table in /var/games/sauno; removing the package keeps the
# scores, purging removes them. Needs root, and a machine where no sauno package is installed.
set -uo pipefail
BUILD="$1"
SOURCE="$2"
source "$(dirname "$0")/../e2e/e2e_lib.sh"
source "$(dirname "$0")/two_players.sh"
if [ "$(id -u)" != 0 ]; then
  echo "the package is made and checked only as root"
  exit 0
fi
if dpkg-query -W -f='${Status}' sauno 2>/dev/null | grep -q installed; then
  echo "a sauno package is installed here already: its scores are not the test's to purge"
  exit 0
fi
deb=$(bash "$SOURCE/packaging/make_deb.sh" "$BUILD" "$E2E_SCRATCH/dist") || fail "the package was not made"
lint=$(lintian --fail-on error,warning "$deb" 2>&1) || fail "lintian: $lint"
dpkg -i "$deb" >"$E2E_SCRATCH/dpkg.log" 2>&1 || fail "dpkg -i: $(tail -5 "$E2E_SCRATCH/dpkg.log")"
after_players() { dpkg --purge sauno >/dev/null 2>&1; }
trap 'after_players; e2e_cleanup' EXIT

[ "$(readlink /usr/games/sauno)" = ../lib/games/sauno/sauno ] || fail "the launcher /usr/games/sauno"
[ "$(/usr/games/sauno --version)" = "$("$BUILD/sauno" --version)" ] || fail "the launcher does not start the game"
grep -qx "Exec=/usr/games/sauno" /usr/share/applications/sauno.desktop || fail "desktop entry Exec"
for page in sauno sauno-table sauno-inspect; do man -w "$page" >/dev/null 2>&1 || fail "no manual page $page"; done
grep -q 'Directory = "/var/games/sauno"' /usr/lib/games/sauno/sauno.scene || fail "the game's description names another score directory"
scores=/var/games/sauno
sauno-table verify "$scores" enkat >/dev/null || fail "no valid table in $scores"
[ "$(stat -c '%U:%G %a' "$scores")" = "root:games 2775" ] || fail "score directory: $(stat -c '%U:%G %a' "$scores")"
for f in "$scores"/*; do
  [ "$(stat -c '%U:%G %a' "$f")" = "root:games 664" ] || fail "$(basename "$f"): $(stat -c '%U:%G %a' "$f")"
done
[ "$(stat -c '%U:%G %a' /usr/lib/games/sauno/sauno)" = "root:games 2755" ] || fail "the game does not run with the scores group"
find /usr/lib/games/sauno /usr/games /var/games/sauno -perm -o+w ! -type l | grep . && fail "world-writable files"

two_players /usr/games/sauno "$scores"
stored=$(records "$scores")

dpkg --remove sauno >/dev/null 2>&1 || fail "dpkg --remove"
[ -e /usr/games/sauno ] && fail "the game is still there after removal"
[ "$("$BUILD/sauno-table" list "$scores" enkat --index aika)" = "$stored" ] || fail "removal lost the scores"
dpkg --purge sauno >/dev/null 2>&1 || fail "dpkg --purge"
unset -f after_players
[ -e "$scores" ] && fail "purging left $scores"
echo "package $(basename "$deb"): lintian clean; two players stored: $(tr '\t\n' ': ' <<<"$stored"); removal kept, purging removed the scores"
