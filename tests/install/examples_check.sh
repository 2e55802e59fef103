# Sourced by the installation tests, after e2e_lib.sh. The libraries as another program sees
# them once installed under PREFIX (/usr for the packages): nothing from the source tree but
# the examples' own sources, copied out of it.
#   installed_headers_compile PREFIX   every installed header compiles alone
#   examples_build_and_run PREFIX      the examples project built with find_package(Sauno), both
#                                      programs run, and the table example again through pkg-config

sauno_libdir() { echo "$1/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)"; }

# pkg-config with the installation's modules first (for /usr they are where it looks anyway).
sauno_pkg_config() {
  PKG_CONFIG_PATH="$(sauno_libdir "$1")/pkgconfig" pkg-config "${@:2}"
}

installed_headers_compile() {
  local prefix="$1" list="$E2E_SCRATCH/headers.txt" failed="$E2E_SCRATCH/headers-failed.txt"
  (cd "$prefix/include/sauno" && find . -name '*.h' | sed 's|^\./||' | sort) >"$list"
  [ -s "$list" ] || fail "no headers installed in $prefix/include/sauno"
  : >"$failed"
  export -f sauno_libdir sauno_pkg_config
  # The flags are the module's own, from its .pc file: a header needs nothing beyond them.
  PREFIX="$prefix" FAILED="$failed" xargs -P 2 -I{} bash -c '
    h={}; module=sauno-${h%%/*}
    flags=$(sauno_pkg_config "$PREFIX" --cflags "$module") || { echo "$h: no pkg-config module $module" >>"$FAILED"; exit 0; }
    out=$(printf "#include \"%s\"\n" "$h" | g++ $flags -fsyntax-only -Wall -x c++ - 2>&1) \
      || echo "$h: $(head -3 <<<"$out")" >>"$FAILED"' <"$list"
  [ -s "$failed" ] && fail "installed headers that do not compile alone:
$(cat "$failed")"
  echo "$(wc -l <"$list") installed headers compile alone"
}

examples_build_and_run() {
  local prefix="$1" src="$E2E_SCRATCH/examples" bin="$E2E_SCRATCH/examples-build" model="$BUILD/data/sauna2.3ds"
  cp -r "$SOURCE/examples" "$src"
  local prefix_path=()
  [ "$prefix" = /usr ] || prefix_path=(-DCMAKE_PREFIX_PATH="$prefix")
  cmake -S "$src" -B "$bin" "${prefix_path[@]}" >"$E2E_SCRATCH/examples-configure.log" 2>&1 \
    || fail "the examples do not configure: $(tail -8 "$E2E_SCRATCH/examples-configure.log")"
  grep -rq --include='*.txt' --include='*.make' --include='*.cmake' -e "$SOURCE" "$bin" \
    && fail "the examples' build refers to the source tree"
  cmake --build "$bin" -j 2 >"$E2E_SCRATCH/examples-build.log" 2>&1 \
    || fail "the examples do not build: $(grep -m5 -i error "$E2E_SCRATCH/examples-build.log")"
  # The programs' run path names the libraries they link, not those beneath (as the system's
  # directories would): outside /usr the loader is told where the rest are.
  [ "$prefix" = /usr ] || export LD_LIBRARY_PATH="$(sauno_libdir "$prefix")"
  local found
  found=$(ldd "$bin/sauno-view" | sed -n 's/^\s*libsauno-engine.so.0 => \(\S*\) .*/\1/p')
  [ -n "$found" ] && [ "$(realpath "$found")" = "$(realpath "$(sauno_libdir "$prefix")/libsauno-engine.so.0")" ] \
    || fail "sauno-view does not use the installed libsauno-engine: $(ldd "$bin/sauno-view" | grep sauno)"

  # The table example: made on the first insert, listed by its index, longest first.
  local dir="$E2E_SCRATCH/visits"
  mkdir -p "$dir"
  local out
  out=$("$bin/sauno-visits" "$dir" add Aino 300) && grep -q "made the table visits" <<<"$out" \
    || fail "sauno-visits did not make its table: $out"
  out=$("$bin/sauno-visits" "$dir" add Eero 45 && "$bin/sauno-visits" "$dir" add Kalle 900 &&
        "$bin/sauno-visits" "$dir" add Liisa 301) || fail "sauno-visits add: $out"
  [ -z "$out" ] || fail "sauno-visits made its table again: $out"
  local expected=$'Kalle\t900\nLiisa\t301\nAino\t300\nEero\t45'
  out=$("$bin/sauno-visits" "$dir" list)
  [ "$out" = "$expected" ] || fail "sauno-visits list, not by the index: $out"
  out=$("$bin/sauno-visits" "$dir" add Olli soon 2>&1) && fail "a bad number was taken"
  grep -q '"soon" is not a number' <<<"$out" || fail "a bad number: $out"
  [ "$("$bin/sauno-visits" "$dir" list)" = "$expected" ] || fail "a bad number changed the table"

  # The same program through pkg-config alone.
  local flags
  flags=$(sauno_pkg_config "$prefix" --cflags --libs sauno-store) || fail "no pkg-config module sauno-store"
  g++ "$src/table/visits.cpp" -o "$E2E_SCRATCH/visits-pc" $flags 2>"$E2E_SCRATCH/pc.log" \
    || fail "g++ \$(pkg-config --cflags --libs sauno-store): $(head -5 "$E2E_SCRATCH/pc.log")"
  [ "$("$E2E_SCRATCH/visits-pc" "$dir" list)" = "$expected" ] \
    || fail "the pkg-config build lists otherwise"

  # The viewer on the game's own model, for a few frames, and on files it cannot show.
  [ -n "$E2E_XVFB" ] || own_display
  out=$("$bin/sauno-view" "$model" --frames 20 2>&1) || fail "sauno-view on sauna2.3ds: $out"
  grep -Eq "sauna2.3ds: [1-9][0-9]* triangles" <<<"$out" || fail "sauno-view found no triangles: $out"
  local covered
  covered=$(sed -n 's/.*covered \([0-9]*\)%.*/\1/p' <<<"$out")
  [ -n "$covered" ] && [ "$covered" -ge 10 ] || fail "sauno-view drew too little of the model: $out"
  out=$("$bin/sauno-view" "$E2E_SCRATCH/none.3ds" --frames 2 2>&1) && fail "sauno-view showed a missing file"
  grep -q "sauno-view: $E2E_SCRATCH/none.3ds: File not found" <<<"$out" || fail "missing file: $out"
  head -c 200 "$model" >"$E2E_SCRATCH/cut.3ds"
  out=$("$bin/sauno-view" "$E2E_SCRATCH/cut.3ds" --frames 2 2>&1) && fail "sauno-view showed a cut-off file: $out"
  grep -q "sauno-view: $E2E_SCRATCH/cut.3ds: ." <<<"$out" || fail "cut-off file: $out"
  echo "examples built against $prefix; sauna2.3ds covered $covered% of the window"
}
