#!/usr/bin/env bash
# The manual pages: each formats without a warning, and every command and
# option the programs' own usage texts list is described in its page.
set -uo pipefail
BUILD="$1"
PAGES="$2"
status=0
fail() { echo "FAIL: $*"; status=1; }

for page in "$PAGES"/sauno.6 "$PAGES"/sauno-table.1 "$PAGES"/sauno-inspect.1 "$PAGES"/sauno-view.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The text of a page as a reader sees it, one line per line.
rendered() { LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$1" 2>/dev/null | col -b; }

table_page=$(rendered "$PAGES/sauno-table.1")
commands=$("$BUILD/sauno-table" --help | sed -n 's/^ *\(usage: \)\{0,1\}sauno-table \([a-z][a-z-]*\).*/\2/p' | sort -u)
[ -n "$commands" ] || fail "no commands in sauno-table --help"
for command in $commands; do
  grep -Eq "^ {7}$command( |$)" <<<"$table_page" || fail "sauno-table $command is not described in sauno-table(1)"
done
for option in --stdin --each --index --primary --csv --json; do
  "$BUILD/sauno-table" --help | grep -q -- "$option" || continue
  grep -q -- "$option" <<<"$table_page" || fail "sauno-table $option is not in sauno-table(1)"
done
for type in $("$BUILD/sauno-table" --help | sed -n '/types:/,$p' | sed 's/.*types://' | tr ' ' '\n' | grep .); do
  grep -qw "$type" <<<"$table_page" || fail "the field type $type is not in sauno-table(1)"
done

inspect_page=$(rendered "$PAGES/sauno-inspect.1")
for word in $("$BUILD/sauno-inspect" 2>&1 | sed -n 's/^ *\(usage: \)\{0,1\}sauno-inspect \([a-z]*\).*/\2/p' | sort -u) --render; do
  grep -q -- "$word" <<<"$inspect_page" || fail "sauno-inspect $word is not in sauno-inspect(1)"
done

view_page=$(rendered "$PAGES/sauno-view.1")
view_options=$("$BUILD/examples/sauno-view" 2>&1 | grep -o -- '--[a-z]*')
[ -n "$view_options" ] || fail "no options in sauno-view's usage"
for option in $view_options; do
  grep -q -- "$option" <<<"$view_page" || fail "sauno-view $option is not in sauno-view(1)"
done

game_page=$(rendered "$PAGES/sauno.6")
for option in $("$BUILD/installed/sauno" --help | head -1 | grep -o -- '--[a-z]*'); do
  grep -q -- "$option" <<<"$game_page" || fail "sauno $option is not in sauno(6)"
done
# The controls the README lists.
for key in Enter Left Right Escape Alt+F4; do
  grep -q -- "$key" <<<"$game_page" || fail "the key $key is not in sauno(6)"
done
[ "$status" = 0 ] && echo "manual pages: no warnings; they describe every command, option and key"
exit "$status"
