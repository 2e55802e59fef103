#!/usr/bin/env bash
# Makes the Debian binary packages from a build directory:
#   make_deb.sh BUILD DIST
# and prints their paths, one a line: the game, the libraries, their development files.
#
# The game (sauno) is laid out as Debian lays out games: the program and what it
# reads beside itself in /usr/lib/games/sauno, the launcher /usr/games/sauno,
# the tools in /usr/bin, manual pages in sections 6 and 1, and the shared
# high-score table in /var/games/sauno, made by the package's maintainer
# script (so that it is the machine's data, not the package's: removing the
# package keeps it, purging removes it). The game is setgid games and the
# table group games and group-writable: players write it through the game
# only.
#
# The libraries are split as Debian ships libraries: libsaunoMAJOR (named by the
# SONAME version) holds the versioned shared libraries and their SONAME links,
# with a shlibs file so that what links them depends on it; libsauno-dev holds
# the headers, the development links, the CMake package and the pkg-config files.
# Dependencies come from the shared libraries the programs and libraries use.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
DIST="$2"
HERE="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$DIST"
DIST="$(cd "$DIST" && pwd)"

version=$("$BUILD/sauno" --version | awk '{print $2}')
soversion=${version%%.*}
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libpackage="libsauno$soversion"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One tree per package, where dpkg-shlibdeps finds the libraries being packaged.
stage="$work/debian/sauno"
libstage="$work/debian/$libpackage"
devstage="$work/debian/libsauno-dev"

# The changelog's date, which the metainfo's release carries too.
epoch=${SOURCE_DATE_EPOCH:-$(date +%s)}

# The usual installation, below the staging folder, without a table of its own.
DESTDIR="$stage" SAUNO_SCORE_DIR=/var/games/sauno SAUNO_NO_TABLE=1 SOURCE_DATE_EPOCH="$epoch" \
  cmake --install "$BUILD" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
mkdir -p "$stage/usr/lib/games" "$stage/usr/games"
mv "$stage/usr/lib/sauno" "$stage/usr/lib/games/sauno"
rm "$stage/usr/bin/sauno"
ln -s ../lib/games/sauno/sauno "$stage/usr/games/sauno"
sed -i 's|^Exec=.*|Exec=/usr/games/sauno|' "$stage/usr/share/applications/sauno.desktop"
rm -rf "$stage/var"
mkdir -p "$stage/var/games/sauno"

# The libraries out of the game's tree: the versioned files and SONAME links into the
# library package, everything a program is built with into the development package.
libdir="usr/lib/$multiarch"
ls "$stage/$libdir"/libsauno-*.so."$version" >/dev/null 2>&1 || { echo "make_deb.sh: no libraries in /$libdir"; exit 1; }
mkdir -p "$libstage/$libdir" "$devstage/$libdir" "$devstage/usr"
mv "$stage/$libdir"/libsauno-*.so.* "$libstage/$libdir/"
mv "$stage/$libdir"/libsauno-*.so "$stage/$libdir/cmake" "$stage/$libdir/pkgconfig" "$devstage/$libdir/"
mv "$stage/usr/include" "$devstage/usr/include"
rmdir "$stage/$libdir"

for program in "$stage/usr/lib/games/sauno/sauno" "$stage/usr/bin/sauno-table" "$stage/usr/bin/sauno-inspect" \
               "$stage/usr/bin/sauno-view"; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$program"
done
for library in "$libstage/$libdir"/libsauno-*.so."$version"; do
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$library"
done
gzip -9n "$stage"/usr/share/man/man*/*

changelog="$work/changelog.gz"
sed "s/@VERSION@/$version/; s/@DATE@/$(date -u -R -d @"$epoch")/" "$HERE/debian/changelog.in" \
  | gzip -9n >"$changelog"
for tree in "$stage" "$libstage" "$devstage"; do
  doc="$tree/usr/share/doc/$(basename "$tree")"
  mkdir -p "$doc"
  cp "$HERE/debian/copyright" "$doc/copyright"
  cp "$changelog" "$doc/changelog.gz"
done
mkdir -p "$stage/usr/share/lintian/overrides" "$libstage/usr/share/lintian/overrides"
cp "$HERE/debian/lintian-overrides" "$stage/usr/share/lintian/overrides/sauno"
sed "s/@PACKAGE@/$libpackage/g" "$HERE/debian/libsauno.lintian-overrides" \
  >"$libstage/usr/share/lintian/overrides/$libpackage"

# The library package's shlibs: whatever links one of its libraries needs this version or later.
mkdir -p "$libstage/DEBIAN"
for library in "$libstage/$libdir"/libsauno-*.so."$version"; do
  name=$(basename "$library" ".so.$version")
  echo "$name $soversion $libpackage (>= $version)"
done >"$libstage/DEBIAN/shlibs"
echo "activate-noawait ldconfig" >"$libstage/DEBIAN/triggers"

# Dependencies from the shared libraries the programs and libraries need; the libraries being
# packaged are found in their own tree, with its shlibs file.
printf 'Source: sauno\n\nPackage: sauno\nArchitecture: any\n\nPackage: %s\nArchitecture: any\n' "$libpackage" \
  >"$work/debian/control"
shlibdeps() {
  (cd "$work" && dpkg-shlibdeps -O -S"$libstage" -l"$libstage/$libdir" "$@" 2>"$work/shlibdeps.log") \
    | sed -n 's/^shlibs:Depends=//p'
}
depends=$(shlibdeps -e"$stage/usr/lib/games/sauno/sauno" -e"$stage/usr/bin/sauno-table" \
  -e"$stage/usr/bin/sauno-inspect" -e"$stage/usr/bin/sauno-view")
[ -n "$depends" ] || { echo "make_deb.sh: no dependencies found"; cat "$work/shlibdeps.log"; exit 1; }
grep -q "$libpackage (>= $version)" <<<"$depends" || { echo "make_deb.sh: sauno-view's libraries not found: $depends"; exit 1; }
libdepends=$(shlibdeps -x"$libpackage" "$libstage/$libdir"/libsauno-*.so."$version")
[ -n "$libdepends" ] || { echo "make_deb.sh: no dependencies of the libraries found"; cat "$work/shlibdeps.log"; exit 1; }

# The symbols file, checked against debian/libsauno.symbols: a library that no longer exports
# a symbol listed there (dropped, or changed, which mangles it anew) fails the build. A new
# symbol is let through, with this version, and belongs in the list.
if ! (cd "$work" && dpkg-gensymbols -p"$libpackage" -P"$libstage" -v"$version" -c1 -I"$HERE/debian/libsauno.symbols" \
        -O"$work/symbols" $(printf -- '-e%s ' "$libstage/$libdir"/libsauno-*.so."$version")) >"$work/gensymbols.log" 2>&1; then
  echo "make_deb.sh: the libraries no longer export what debian/libsauno.symbols lists:"
  cat "$work/gensymbols.log"
  exit 1
fi
# dpkg-gensymbols forgives the loss of a symbol listed with the version being built; the list
# is the contract all the same, so each of its symbols (but the optional ones, which
# make_symbols.sh marks) must still be exported by its library.
for library in "$libstage/$libdir"/libsauno-*.so."$version"; do
  soname=$(objdump -p "$library" | awk '$1 == "SONAME" {print $2}')
  nm -D --defined-only "$library" | awk -v so="$soname" '$2 != "A" {print so " " $NF "@Base"}'
done | sort -u >"$work/exported"
lost=$(awk '/^[^ #]/ {so = $1} /^ [^(]/ {print so " " $1}' "$HERE/debian/libsauno.symbols" | sort -u | comm -23 - "$work/exported")
if [ -n "$lost" ]; then
  echo "make_deb.sh: symbols of debian/libsauno.symbols that the libraries no longer export:"
  echo "$lost"
  exit 1
fi
grep -q '^+ ' "$work/gensymbols.log" && { echo "make_deb.sh: new symbols, not yet in debian/libsauno.symbols:"; grep '^+ ' "$work/gensymbols.log"; } >&2
sed "s/^\(libsauno-[a-z]*\.so\.[0-9]*\) [^ ]* /\1 $libpackage /" "$work/symbols" >"$libstage/DEBIAN/symbols"

mkdir -p "$stage/DEBIAN"
installed_size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$depends, fonts-dejavu-core, fonts-dejavu-extra/" \
  -e "s/@SIZE@/$installed_size/" "$HERE/debian/control.in" >"$stage/DEBIAN/control"
install -m 0755 "$HERE/debian/postinst" "$stage/DEBIAN/postinst"
install -m 0755 "$HERE/debian/postrm" "$stage/DEBIAN/postrm"
sed -e "s/@PACKAGE@/$libpackage/" -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@DEPENDS@/$libdepends/" \
  -e "s/@SIZE@/$(du -sk --exclude=DEBIAN "$libstage" | cut -f1)/" "$HERE/debian/libsauno.control.in" >"$libstage/DEBIAN/control"
mkdir -p "$devstage/DEBIAN"
sed -e "s/@LIBPACKAGE@/$libpackage/" -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$arch/" \
  -e "s/@SIZE@/$(du -sk --exclude=DEBIAN "$devstage" | cut -f1)/" "$HERE/debian/libsauno-dev.control.in" \
  >"$devstage/DEBIAN/control"
for tree in "$stage" "$libstage" "$devstage"; do
  (cd "$tree" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
done

# Ownership and modes as the package installs them.
fakeroot -- bash -c "
  chown -R root:root '$stage'
  find '$stage' -type d -exec chmod 0755 {} +
  find '$stage/usr' -type f -exec chmod 0644 {} +
  chmod 0755 '$stage/usr/bin/sauno-table' '$stage/usr/bin/sauno-inspect' '$stage/usr/bin/sauno-view' \
    '$stage/DEBIAN/postinst' '$stage/DEBIAN/postrm'
  chmod 0644 '$stage/DEBIAN/control' '$stage/DEBIAN/md5sums'
  for tree in '$libstage' '$devstage'; do
    chown -R root:root \"\$tree\"
    find \"\$tree\" -type d -exec chmod 0755 {} +
    find \"\$tree\" -type f -exec chmod 0644 {} +
  done
  chown root:games '$stage/usr/lib/games/sauno/sauno' '$stage/var/games/sauno'
  chmod 2755 '$stage/usr/lib/games/sauno/sauno'
  chmod 2775 '$stage/var/games/sauno'
  dpkg-deb --build -Zxz '$stage' '$DIST/sauno_${version}_${arch}.deb' >/dev/null
  dpkg-deb --build -Zxz '$libstage' '$DIST/${libpackage}_${version}_${arch}.deb' >/dev/null
  dpkg-deb --build -Zxz '$devstage' '$DIST/libsauno-dev_${version}_${arch}.deb' >/dev/null
"
echo "$DIST/sauno_${version}_${arch}.deb"
echo "$DIST/${libpackage}_${version}_${arch}.deb"
echo "$DIST/libsauno-dev_${version}_${arch}.deb"
