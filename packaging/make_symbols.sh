#!/usr/bin/env bash
# Writes debian/libsauno.symbols from a build's shared libraries, when their contract changes
# on purpose:
#   make_symbols.sh BUILD
# A new symbol keeps the version it was listed with; one that is new gets the build's version.
# Weak symbols are optional: they are the tables and type names a library emits for a class it
# merely uses (the class's own library exports them too), and come and go with the code.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
HERE="$(cd "$(dirname "$0")" && pwd)"
list="$HERE/debian/libsauno.symbols"
version=$("$BUILD/sauno" --version | awk '{print $2}')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debian" "$work/stage/usr/lib"
cp -P "$BUILD"/*/libsauno-*.so.* "$work/stage/usr/lib/"
printf 'Source: sauno\n\nPackage: libsauno0\nArchitecture: any\n' >"$work/debian/control"
libraries=("$work/stage/usr/lib"/libsauno-*.so."$version")
(cd "$work" && dpkg-gensymbols -plibsauno0 -Pstage -v"$version" -I"$list" -O"$work/symbols" \
   $(printf -- '-e%s ' "${libraries[@]}")) >/dev/null 2>&1 || true
for library in "${libraries[@]}"; do
  nm -D --defined-only "$library" | awk '$2 ~ /^[VWvwu]$/ {print $3 "@Base"}'
done | sort -u >"$work/weak"
{
  sed -n '/^#/p' "$list"
  awk -v weak="$work/weak" '
    BEGIN { while ((getline s < weak) > 0) w[s] = 1 }
    /^[^ #]/ { $2 = "#PACKAGE#"; print; next }
    /^ / { name = $1; sub(/^\(optional\)/, "", name)
           if ($0 ~ /^#MISSING/) next
           print " " (name in w ? "(optional)" : "") name " " $2 }
  ' "$work/symbols"
} >"$list.new"
mv "$list.new" "$list"
echo "$list: $(grep -c '^ ' "$list") symbols, $(grep -c '^ (optional)' "$list") of them optional"
