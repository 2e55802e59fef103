# Sourced by deb_e2e.sh, after e2e_lib.sh. The shared libraries export their contract and
# nothing else: every dynamic symbol of a library is declared in one of its installed headers,
# or in an internal header of the stack that a library above it calls (so that the stack links
# as separate libraries). Where a symbol is declared is read from the build's debugging
# information, which says for each function and variable the header that declares it.
#   exports_are_contract INCLUDEDIR LIBRARY...
# INCLUDEDIR is the installed include/sauno; the libraries are the build's, unstripped.

# For each symbol that LIBRARY's debugging information declares: "SYMBOL<TAB>FILE".
declared_in() {
  local library="$1"
  awk '
    FNR == 1 { pass++ }
    # The line tables: the directories and files of each, by its offset.
    pass == 1 && /^  Offset:/ { table = $2; section = "" }
    pass == 1 && /The Directory Table/ { section = "dir"; next }
    pass == 1 && /The File Name Table/ { section = "file"; next }
    pass == 1 && /^ *$/ { section = "" }
    pass == 1 && section == "dir" && $1 ~ /^[0-9]+$/ { dir[table, $1] = $NF }
    pass == 1 && section == "file" && $1 ~ /^[0-9]+$/ {
      name = $NF; d = dir[table, $3]
      file[table, $1] = (name ~ /^\//) ? name : d "/" name
    }
    # The entries: each unit names its line table; each declaration its file.
    pass == 2 && /DW_AT_stmt_list/ { unit = $NF }
    pass == 2 && /^ <[0-9]+><[0-9a-f]+>:/ { flush(); decl = ""; link = "" }
    pass == 2 && /DW_AT_decl_file/ { decl = $NF }
    pass == 2 && /DW_AT_linkage_name|DW_AT_MIPS_linkage_name/ { link = $NF }
    function flush() { if (link != "" && decl != "") print link "\t" file[unit, decl] }
    END { flush() }
  ' <(readelf --debug-dump=rawline -W "$library") <(readelf --debug-dump=info -W "$library") | sort -u
}

# Whether an installed header declares the symbol DEMANGLED names: its class (for a member, and
# for a class's tables) or, for a function outside a class, a function of its name.
declare -A SAUNO_DECLARED=()
declared_by_installed_header() {
  local include="$1" name="$2" kind=function parts
  if [[ "$name" =~ ^(vtable|typeinfo|typeinfo\ name|VTT|guard\ variable)\ for\ (.*)$ ]]; then
    name=${BASH_REMATCH[2]}; kind=class
  fi
  [[ "$name" =~ ^(non-)?virtual\ thunk\ to\ (.*)$ ]] && name=${BASH_REMATCH[2]}
  name=${name%%(*}
  name=${name//\[abi:cxx11\]/}
  while [[ "$name" == *"<"* ]]; do name=$(sed -E 's/<[^<>]*>//g' <<<"$name"); done
  IFS=: read -ra parts <<<"${name//::/:}"
  while [ "${#parts[@]}" -gt 1 ] && [[ "${parts[0]}" =~ ^(sauno|platform|store|keyboard|vk)$ ]]; do parts=("${parts[@]:1}"); done
  [ "${#parts[@]}" -gt 1 ] && kind=class
  local key="$kind ${parts[0]}"
  if [ -z "${SAUNO_DECLARED[$key]:-}" ]; then
    if [ "$kind" = class ]; then
      grep -rqE "^\s*(class|struct) +(SAUNO_[A-Z]+_EXPORT +)?${parts[0]}( final)?( *[:{]|$)" "$include"
    else
      grep -rqE "(^|[^A-Za-z0-9_])${parts[0]}\(" "$include"
    fi && SAUNO_DECLARED[$key]=yes || SAUNO_DECLARED[$key]=no
  fi
  [ "${SAUNO_DECLARED[$key]}" = yes ]
}

exports_are_contract() {
  local include="$1"; shift
  local work="$E2E_SCRATCH/exports" lib name bad=0 internal=0 total=0
  mkdir -p "$work"
  (cd "$include" && find . -name '*.h' | sed 's|^\./||') | sort >"$work/installed"
  for lib in "$@"; do nm -D --undefined-only "$lib" | awk '{print $NF}'; done | sort -u >"$work/imported"
  for lib in "$@"; do
    name=$(basename "$lib")
    declared_in "$lib" >"$work/$name.decl"
    [ -s "$work/$name.decl" ] || fail "$name has no debugging information to check its exports against"
    nm -D --defined-only "$lib" | awk '$2 != "A" {print $NF}' | sort -u >"$work/$name.exported"
    # A symbol stands for a declaration: constructors and destructors of every kind for the
    # declared one, thunks for their function, a class's tables for its members.
    awk -F'\t' -v installed="$work/installed" -v imported="$work/imported" -v lib="$name" '
      BEGIN {
        while ((getline l < installed) > 0) inst[l] = 1
        while ((getline l < imported) > 0) { gsub(/C[123]E/, "C4E", l); gsub(/D[012]E/, "D4E", l); imp[l] = 1 }
      }
      # A definition may carry its own name and file too: the declaration in a header is the one.
      FNR == NR {
        d = $2; n = split(d, p, "/"); f = (d ~ /^\/usr\//) ? "system" : p[n-1] "/" p[n]
        if (!($1 in where) || f in inst || (where[$1] !~ /\.h$/ && !(where[$1] in inst) && f ~ /\.h$/)) where[$1] = f
        next
      }
      {
        sym = $1; key = sym
        gsub(/C[123]E/, "C4E", key); gsub(/D[012]E/, "D4E", key)
        sub(/^_ZTh[n]?[0-9]+_/, "_Z", key); sub(/^_ZTv[n]?[0-9]+_n?[0-9]+_/, "_Z", key)
        sub(/^_ZGV/, "_Z", key)
        w = where[key]
        if (w == "" && key ~ /^_ZT[VIST]/) {
          # The class of a vtable or typeinfo: where any of its members is declared.
          cls = substr(key, 5); sub(/E$/, "", cls)
          prefix = (substr(key, 5, 1) == "N") ? "_ZN" substr(cls, 2) : "_Z" cls
          for (s in where) if (index(s, prefix) == 1 && substr(s, length(prefix) + 1, 1) ~ /[0-9CD]/) { w = where[s]; break }
        }
        total++
        if (w in inst) next
        if (key in imp) { internal++; next }
        # Known only where it is defined, or not at all: the installed headers are searched.
        if (w == "" || w ~ /\.cpp$/) { print "search\t" sym "\t" (w == "" ? "no header" : w); next }
        print lib ": " sym " (declared in " w ")"
      }
      END { printf "%s %d %d\n", lib, total, internal > "/dev/stderr" }
    ' "$work/$name.decl" "$work/$name.exported" >"$work/$name.result" 2>>"$work/counts"
    grep -v '^search' "$work/$name.result" >>"$work/bad"
    local sym where demangled
    while IFS=$'\t' read -r sym where demangled; do
      declared_by_installed_header "$include" "$demangled" || echo "$name: $sym (declared in $where)" >>"$work/bad"
    done < <(grep '^search' "$work/$name.result" | cut -f2,3 | paste - <(grep '^search' "$work/$name.result" | cut -f2 | c++filt))
  done
  if [ -s "$work/bad" ]; then
    fail "exported symbols that no installed header declares:
$(c++filt <"$work/bad" | head -40)"
  fi
  echo "exports: $(awk '{t += $2; i += $3} END {print t " symbols, all declared in installed headers but " i " that the libraries above call"}' "$work/counts")"
}
