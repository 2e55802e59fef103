# Sourced by deb_e2e.sh, after e2e_lib.sh. What a software centre and a distribution read of the
# installed game, checked with the tools they use (SOURCE is the source tree):
#   software_centre_files ROOT   the metainfo and the desktop entry under ROOT/usr valid, the
#                                entry the one the metainfo launches, its screenshots in docs/
#                                at their stated sizes, its releases the changelog's
#   copyright_is_licence FILE    FILE's Expat text is LICENSE's, word for word

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

  local url file size shots=0
  while read -r size url; do
    file="$SOURCE/${url#https://sauno.invalid/}"
    [ -f "$file" ] || fail "the screenshot $url is not in the tree ($file)"
    [ "$(identify -format '%w %h' "$file")" = "$size" ] || fail "$url is not $size"
    shots=$((shots + 1))
  done < <(sed -n 's|.*<image type="source" width="\([0-9]*\)" height="\([0-9]*\)">\(.*\)</image>.*|\1 \2 \3|p' "$metainfo")
  [ "$shots" -gt 0 ] || fail "the metainfo shows no screenshot"
  [ "$(grep -c '<image' "$metainfo")" = "$shots" ] || fail "a screenshot without its size or outside docs/"

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
