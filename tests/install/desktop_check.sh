# Sourced by deb_e2e.sh, after e2e_lib.sh. What a software centre and a distribution read of the
# installed game, checked with the tools they use (SOURCE is the source tree):
#   software_centre_files ROOT   the metainfo and the desktop entry under ROOT/usr valid, the
#                                entry the one the metainfo launches, its screenshots in docs/
#                                at their stated sizes, its releases the changelog's
#   copyright_is_licence FILE    FILE's Expat text is LICENSE's, word for word
#   copyright_passes_lintian FILE CHANGELOG
#                                FILE clean under lintian's checks of the machine-readable
#                                format, which it makes of a source package only: one is made
#                                around FILE and the package's changelog

SAUNO_APP_ID=invalid.sauno.Sauno

software_centre_files() {
  local usr="$1/usr" metainfo="$1/usr/share/metainfo/$SAUNO_APP_ID.metainfo.xml" out
  [ -f "$metainfo" ] || fail "no metainfo $metainfo"
  out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $out"
  grep -E '^[EW]:' <<<"$out" && fail "appstreamcli reports errors or warnings: $out"
  local desktop
  desktop=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  [ -n "$desktop" ] && [ -f "$usr/share/applications/$desktop" ] \
    || fail "the metainfo launches '$desktop', which is not installed"
  out=$(desktop-file-validate "$usr/share/applications/$desktop" 2>&1)
  [ $? = 0 ] && [ -z "$out" ] || fail "desktop-file-validate: $out"

  local url file width height shots=0
  while read -r width height url; do
    file="$SOURCE/${url#https://sauno.invalid/}"
    [ -f "$file" ] || fail "the screenshot $url is not in the tree ($file)"
    [ "$(identify -format '%w %h' "$file")" = "$width $height" ] || fail "$url is not ${width}x$height"
    shots=$((shots + 1))
  done < <(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">\(.*\)</image>.*|\1 \2 \3|p' "$metainfo")
  [ "$shots" -gt 0 ] || fail "the metainfo shows no screenshot"
  [ "$(grep -c '<image' "$metainfo")" = "$shots" ] || fail "a screenshot without its size or outside docs/"
  [ "$(grep -c '<caption>..*</caption>' "$metainfo")" = "$shots" ] || fail "a screenshot without a caption"
  # The player drinks beer, and nothing else of the content rating applies.
  [ "$(sed -n 's|.*<content_attribute id="\([^"]*\)">\(.*\)</content_attribute>.*|\1=\2|p' "$metainfo")" = "drugs-alcohol=mild" ] \
    && grep -q '<content_rating type="oars-1.1">' "$metainfo" || fail "the content rating is not mild alcohol alone"

  # Every release is a changelog entry with its date, newest first, and nothing else.
  local changelog="$usr/share/doc/sauno/changelog.gz" expected actual
  zcat "$changelog" >"$E2E_SCRATCH/changelog"
  expected=$(dpkg-parsechangelog -l "$E2E_SCRATCH/changelog" --format rfc822 --all |
             sed -n 's/^\(Version\|Date\): //p' | paste - - |
             while IFS=$'\t' read -r v d; do echo "$v $(date -u -d "$d" +%F)"; done)
  actual=$(sed -n 's|.*<release version="\([^"]*\)" date="\([^"]*\)".*|\1 \2|p' "$metainfo")
  [ -n "$actual" ] && [ "$actual" = "$expected" ] || fail "the metainfo's releases
$actual
are not the changelog's
$expected"
  echo "metainfo and desktop entry valid, $shots screenshots in docs/, releases: $(tr '\n' ' ' <<<"$actual")"
}

copyright_is_licence() {
  local text
  # The stand-alone paragraph: it starts with the licence's name; "." stands for an empty line.
  text=$(awk -v RS= '/^License: Expat\n/' "$1" | sed '1d; s/^ //; s/^\.$//')
  [ -n "$text" ] || fail "$1 has no stand-alone Expat licence paragraph"
  [ "$text" = "$(sed -n '/^Permission/,$p' "$SOURCE/LICENSE")" ] || fail "$1's licence text is not LICENSE's"
}

copyright_passes_lintian() {
  local src="$E2E_SCRATCH/copyright-source" version out
  version=$(dpkg-parsechangelog -l "$2" -S Version)
  rm -rf "$src" && mkdir -p "$src/sauno-$version/debian/source" || fail "no folder for the source package"
  cp "$1" "$src/sauno-$version/debian/copyright"
  cp "$2" "$src/sauno-$version/debian/changelog"
  echo '3.0 (native)' >"$src/sauno-$version/debian/source/format"
  printf 'Source: sauno\nMaintainer: Sauno developers <sauno@sauno.invalid>\nSection: games\nPriority: optional\n\nPackage: sauno\nArchitecture: any\nDescription: sauna endurance game\n The game.\n' \
    >"$src/sauno-$version/debian/control"
  (cd "$src" && dpkg-source -b "sauno-$version" >/dev/null 2>&1) || fail "no source package made around $1"
  out=$(lintian --fail-on error,warning -C debian/copyright,debian/copyright/dep5 "$src/sauno_$version.dsc" 2>&1) \
    || fail "lintian on $1: $out"
}
