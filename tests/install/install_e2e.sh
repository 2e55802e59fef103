#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the layout, the launcher, the desktop entry and icon,
# the shared table made once and kept on a second install, and (as root) two players of the
# machine, neither in the scores group, both storing their visits in that one table.
set -uo pipefail
BUILD="$1"
source "$(dirname "$0")/../e2e/e2e_lib.sh"
source "$(dirname "$0")/two_players.sh"
prefix="$E2E_SCRATCH/prefix"
mkdir -p "$prefix"
chmod 755 "$E2E_SCRATCH"
cmake --install "$BUILD" --prefix "$prefix" >"$E2E_SCRATCH/install.log" 2>&1 || fail "install: $(tail -5 "$E2E_SCRATCH/install.log")"

for f in lib/sauno/sauno lib/sauno/settings.ini lib/sauno/sauno.scene lib/sauno/sauno-fonts.conf \
         lib/sauno/data/sauna2.3ds lib/sauno/data/lauteet.jpg lib/sauno/data/kiulu.jpg lib/sauno/data/mittari.jpg \
         bin/sauno-table bin/sauno-inspect share/applications/sauno.desktop \
         share/icons/hicolor/128x128/apps/sauno.png share/man/man6/sauno.6 share/man/man1/sauno-table.1 \
         share/man/man1/sauno-inspect.1; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
[ -L "$prefix/bin/sauno" ] || fail "bin/sauno is not a link to the game"
[ "$("$prefix/bin/sauno" --version)" = "$("$BUILD/sauno" --version)" ] || fail "the launcher does not start the installed game"
grep -qx "Exec=$prefix/bin/sauno" "$prefix/share/applications/sauno.desktop" || fail "desktop entry Exec"
grep -qx "Icon=sauno" "$prefix/share/applications/sauno.desktop" || fail "desktop entry Icon"
[ "$(identify -format '%w %h' "$prefix/share/icons/hicolor/128x128/apps/sauno.png")" = "128 128" ] || fail "icon size"

scores="$prefix/var/games/sauno/data"
grep -q "Directory = \"$scores\"" "$prefix/lib/sauno/sauno.scene" || fail "the installed description names another score directory"
"$BUILD/sauno-table" verify "$scores" enkat >/dev/null || fail "no valid table in $scores"

# A second install keeps the stored scores.
"$BUILD/sauno-table" insert "$scores" enkat nimi=vanha aika=99 >/dev/null || fail "cannot insert"
cmake --install "$BUILD" --prefix "$prefix" >"$E2E_SCRATCH/install2.log" 2>&1 || fail "second install"
records "$scores" | grep -qx $'vanha\t99' || fail "a second install lost the stored score"

if [ "$(id -u)" != 0 ]; then
  echo "install layout checked; the two-player part needs root"
  exit 0
fi
[ "$(stat -c '%G %a' "$scores")" = "games 2775" ] || fail "score directory: $(stat -c '%G %a' "$scores")"
for f in "$scores"/*; do
  [ "$(stat -c '%G %a' "$f")" = "games 664" ] || fail "$(basename "$f"): $(stat -c '%G %a' "$f")"
done
[ "$(stat -c '%G %a' "$prefix/lib/sauno/sauno")" = "games 2755" ] || fail "the game does not run with the scores group"

two_players "$prefix/bin/sauno" "$scores"
echo "installed to $prefix; two players stored: $(records "$scores" | tr '\t\n' ': ')"
