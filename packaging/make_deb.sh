#!/usr/bin/env bash
# Makes the Debian binary package of the game from a build directory:
#   make_deb.sh BUILD DIST
# The game is laid out as Debian lays out games: the program and what it
# reads beside itself in /usr/lib/games/sauno, the launcher /usr/games/sauno,
# the tools in /usr/bin, manual pages in sections 6 and 1, and the shared
# high-score table in /var/games/sauno, made by the package's maintainer
# script (so that it is the machine's data, not the package's: removing the
# package keeps it, purging removes it). The game is setgid games and the
# table group games and group-writable: players write it through the game
# only. Dependencies come from the shared libraries the programs use.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
DIST="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$DIST"
DIST="$(cd "$DIST" && pwd)"

version=$("$BUILD/sauno" --version | awk '{print $2}')
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage="$work/stage"

# The usual installation, below the staging folder, without a table of its own.
DESTDIR="$stage" SAUNO_SCORE_DIR=/var/games/sauno SAUNO_NO_TABLE=1 \
  cmake --install "$BUILD" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
mkdir -p "$stage/usr/lib/games" "$stage/usr/games"
mv "$stage/usr/lib/sauno" "$stage/usr/lib/games/sauno"
rm "$stage/usr/bin/sauno"
ln -s ../lib/games/sauno/sauno "$stage/usr/games/sauno"
sed -i 's|^Exec=.*|Exec=/usr/games/sauno|' "$stage/usr/share/applications/sauno.desktop"
rm -rf "$stage/var"
mkdir -p "$stage/var/games/sauno"

for program in "$stage/usr/lib/games/sauno/sauno" "$stage/usr/bin/sauno-table" "$stage/usr/bin/sauno-inspect"; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$program"
done
gzip -9n "$stage"/usr/share/man/man*/*

doc="$stage/usr/share/doc/sauno"
mkdir -p "$doc"
cp "$HERE/debian/copyright" "$doc/copyright"
sed "s/@VERSION@/$version/; s/@DATE@/$(date -R -d @"${SOURCE_DATE_EPOCH:-$(date +%s)}")/" "$HERE/debian/changelog.in" \
  | gzip -9n >"$doc/changelog.gz"
mkdir -p "$stage/usr/share/lintian/overrides"
cp "$HERE/debian/lintian-overrides" "$stage/usr/share/lintian/overrides/sauno"

# Dependencies from the shared libraries the programs need.
mkdir -p "$work/debian"
printf 'Source: sauno\n\nPackage: sauno\nArchitecture: any\n' >"$work/debian/control"
depends=$(cd "$work" && dpkg-shlibdeps -O -e"$stage/usr/lib/games/sauno/sauno" -e"$stage/usr/bin/sauno-table" \
  -e"$stage/usr/bin/sauno-inspect" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "make_deb.sh: no dependencies found"; exit 1; }

mkdir -p "$stage/DEBIAN"
installed_size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends, fonts-dejavu-core, fonts-dejavu-extra/" \
  -e "s/@SIZE@/$installed_size/" "$HERE/debian/control.in" >"$stage/DEBIAN/control"
install -m 0755 "$HERE/debian/postinst" "$stage/DEBIAN/postinst"
install -m 0755 "$HERE/debian/postrm" "$stage/DEBIAN/postrm"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)

# Ownership and modes as the package installs them.
fakeroot -- bash -c "
  chown -R root:root '$stage'
  find '$stage' -type d -exec chmod 0755 {} +
  find '$stage/usr' -type f -exec chmod 0644 {} +
  chmod 0755 '$stage/usr/bin/sauno-table' '$stage/usr/bin/sauno-inspect' '$stage/DEBIAN/postinst' '$stage/DEBIAN/postrm'
  chmod 0644 '$stage/DEBIAN/control' '$stage/DEBIAN/md5sums'
  chown root:games '$stage/usr/lib/games/sauno/sauno' '$stage/var/games/sauno'
  chmod 2755 '$stage/usr/lib/games/sauno/sauno'
  chmod 2775 '$stage/var/games/sauno'
  dpkg-deb --build -Zxz '$stage' '$DIST/sauno_${version}_${arch}.deb' >/dev/null
"
echo "$DIST/sauno_${version}_${arch}.deb"
