#!/usr/bin/env bash
# The Debian packages as a player's and a programmer's machine get them: made from the build,
# clean under lintian, installed with dpkg, their metainfo, desktop entry and licence valid,
# the game laid out as Debian lays out games, two players of the machine storing their visits
# in the one table in /var/games/sauno; the libraries exporting only what their installed
# headers declare, each symbol listed in the symbols file; the headers compiling alone from
# /usr/include and the examples built against /usr with nothing from the tree; removing the
# game keeps the scores, purging removes them, and the library packages leave nothing behind.
# Needs root, and a machine where none of the packages is installed.
set -uo pipefail
BUILD="$1"
SOURCE="$2"
source "$(dirname "$0")/../e2e/e2e_lib.sh"
source "$(dirname "$0")/two_players.sh"
source "$(dirname "$0")/hostile_user.sh"
source "$(dirname "$0")/examples_check.sh"
source "$(dirname "$0")/desktop_check.sh"
source "$(dirname "$0")/exports_check.sh"
if [ "$(id -u)" != 0 ]; then
  echo "the package is made and checked only as root"
  exit 0
fi
version=$("$BUILD/sauno" --version | awk '{print $2}')
libpackage="libsauno${version%%.*}"
packages=(sauno "$libpackage" libsauno-dev)
for p in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed; then
    echo "a $p package is installed here already: it is not the test's to purge"
    exit 0
  fi
done
made=$(bash "$SOURCE/packaging/make_deb.sh" "$BUILD" "$E2E_SCRATCH/dist") || fail "the packages were not made: $made"
mapfile -t debs <<<"$made"
[ "${#debs[@]}" = 3 ] || fail "make_deb.sh made ${#debs[@]} packages: $made"
deb="${debs[0]}"
for d in "${debs[@]}"; do
  [ "$(dpkg-deb -f "$d" Package)" = "$(basename "$d" | cut -d_ -f1)" ] || fail "$(basename "$d") holds another package"
done
lint=$(lintian --fail-on error,warning "${debs[@]}" 2>&1) || fail "lintian: $lint"
dpkg -i "${debs[@]}" >"$E2E_SCRATCH/dpkg.log" 2>&1 || fail "dpkg -i: $(tail -5 "$E2E_SCRATCH/dpkg.log")"
after_players() { dpkg --purge "${packages[@]}" >/dev/null 2>&1; }
trap 'after_players; e2e_cleanup' EXIT

# The libraries as Debian ships them, and what depends on them by the shlibs file.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(dpkg -S "/usr/lib/$multiarch/libsauno-store.so.0" 2>/dev/null | cut -d: -f1)" = "$libpackage" ] \
  || fail "libsauno-store.so.0 does not come with $libpackage"
[ "$(dpkg -S "/usr/lib/$multiarch/libsauno-store.so" 2>/dev/null | cut -d: -f1)" = libsauno-dev ] \
  || fail "the development link does not come with libsauno-dev"
dpkg-query -W -f='${Depends}' sauno | grep -q "$libpackage (>= $version)" \
  || fail "the game package does not depend on $libpackage: $(dpkg-query -W -f='${Depends}' sauno)"
dpkg-query -W -f='${Depends}' libsauno-dev | grep -q "$libpackage (= $version)" || fail "libsauno-dev's Depends"
[ -f /usr/include/sauno/store/StoreTable.h ] && [ -f "/usr/lib/$multiarch/cmake/Sauno/SaunoConfig.cmake" ] \
  && [ -f "/usr/lib/$multiarch/pkgconfig/sauno-store.pc" ] || fail "libsauno-dev lacks headers, CMake package or pkg-config files"
grep -q "usage: sauno-view" <<<"$(sauno-view 2>&1)" || fail "sauno-view is not installed"

# The libraries export their contract: what the installed headers declare, and what the
# shipped symbols file lists, so that a program built against one version keeps linking.
exports_are_contract /usr/include/sauno "$BUILD"/*/libsauno-*.so."$version"
symbols="/var/lib/dpkg/info/$libpackage:$(dpkg --print-architecture).symbols"
[ -f "$symbols" ] || fail "$libpackage has no symbols file"
for lib in "/usr/lib/$multiarch"/libsauno-*.so."$version"; do
  missing=$(nm -D --defined-only "$lib" | awk '$2 != "A" {print " " $NF "@Base"}' | sort -u |
            comm -23 - <(awk '/^ / {sub(/^\([^)]*\)/, "", $1); print " " $1}' "$symbols" | sort -u))
  [ -z "$missing" ] || fail "$(basename "$lib") exports symbols its symbols file does not list: $missing"
done
# The installed table tool honours no fault-injection variable: every write goes through.
faults="$E2E_SCRATCH/faults"
mkdir -p "$faults"
SAUNO_STORE_FAIL_WRITE=1 SAUNO_STORE_KILL_AFTER_WRITE=1 sauno-table create-scores "$faults" >/dev/null 2>&1 \
  && sauno-table verify "$faults" enkat >/dev/null || fail "the installed sauno-table injects write faults"

# What a software centre and a distribution read: metainfo, desktop entry, licence.
software_centre_files /
for p in "${packages[@]}"; do copyright_is_licence "/usr/share/doc/$p/copyright"; done
zcat /usr/share/doc/sauno/changelog.gz >"$E2E_SCRATCH/sauno.changelog"
copyright_passes_lintian /usr/share/doc/sauno/copyright "$E2E_SCRATCH/sauno.changelog"
for pc in "/usr/lib/$multiarch"/pkgconfig/sauno-*.pc; do
  grep -qx "License: MIT" "$pc" || fail "$(basename "$pc") does not state the licence"
done
grep -q "SPDX-License-Identifier: MIT" "/usr/lib/$multiarch/cmake/Sauno/SaunoConfig.cmake" \
  || fail "the CMake package does not state the licence"

[ "$(readlink /usr/games/sauno)" = ../lib/games/sauno/sauno ] || fail "the launcher /usr/games/sauno"
[ "$(/usr/games/sauno --version)" = "$("$BUILD/sauno" --version)" ] || fail "the launcher does not start the game"
grep -qx "Exec=/usr/games/sauno" /usr/share/applications/sauno.desktop || fail "desktop entry Exec"
for page in sauno sauno-table sauno-inspect sauno-view; do man -w "$page" >/dev/null 2>&1 || fail "no manual page $page"; done
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
hostile_user /usr/games/sauno "$scores"
stored=$(records "$scores")

installed_headers_compile /usr
examples_build_and_run /usr
out=$(sauno-view "$BUILD/data/sauna2.3ds" --frames 5 2>&1) || fail "the installed sauno-view: $out"

dpkg --remove sauno >/dev/null 2>&1 || fail "dpkg --remove"
[ -e /usr/games/sauno ] && fail "the game is still there after removal"
[ "$("$BUILD/sauno-table" list "$scores" enkat --index aika)" = "$stored" ] || fail "removal lost the scores"
dpkg --purge sauno >/dev/null 2>&1 || fail "dpkg --purge"
[ -e "$scores" ] && fail "purging left $scores"
dpkg --purge libsauno-dev "$libpackage" >/dev/null 2>&1 || fail "dpkg --purge of the library packages"
unset -f after_players
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q installed && fail "$p is still installed"
done
[ -e /usr/include/sauno ] && fail "purging left /usr/include/sauno"
ls "/usr/lib/$multiarch"/libsauno-* "/usr/lib/$multiarch/cmake/Sauno" 2>/dev/null | grep . && fail "purging left the libraries"
echo "packages $(printf '%s ' "${debs[@]##*/}"): lintian clean; two players stored: $(tr '\t\n' ': ' <<<"$stored"); removal kept, purging removed the scores; the examples built against /usr"
