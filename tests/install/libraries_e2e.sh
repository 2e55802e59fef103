#!/usr/bin/env bash
# The libraries as `cmake --install` puts them into a fresh prefix: the versioned shared
# libraries with their SONAME and development links, only the public headers (each compiling
# alone from the prefix), the CMake package and the pkg-config files; then the examples
# project built against that prefix alone and both programs run.
set -uo pipefail
BUILD="$1"
SOURCE="$2"
source "$(dirname "$0")/../e2e/e2e_lib.sh"
source "$(dirname "$0")/examples_check.sh"
prefix="$E2E_SCRATCH/prefix"
mkdir -p "$prefix"
cmake --install "$BUILD" --prefix "$prefix" >"$E2E_SCRATCH/install.log" 2>&1 || fail "install: $(tail -5 "$E2E_SCRATCH/install.log")"

libdir=$(sauno_libdir "$prefix")
version=$("$BUILD/sauno" --version | awk '{print $2}')
for name in platform runtime engine material mesh text sound store; do
  lib="$libdir/libsauno-$name.so"
  [ -f "$lib.$version" ] && [ ! -L "$lib.$version" ] || fail "libsauno-$name.so.$version is not installed"
  [ "$(readlink "$lib.${version%%.*}")" = "libsauno-$name.so.$version" ] || fail "no SONAME link for libsauno-$name"
  [ "$(readlink "$lib")" = "libsauno-$name.so.${version%%.*}" ] || fail "no development link for libsauno-$name"
  soname=$(readelf -d "$lib.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "libsauno-$name.so.${version%%.*}" ] || fail "libsauno-$name has the SONAME '$soname'"
  readelf -d "$lib.$version" | grep -Eq '\((RPATH|RUNPATH)\)' && fail "libsauno-$name keeps a run path"
  [ -f "$libdir/pkgconfig/sauno-$name.pc" ] || fail "no sauno-$name.pc"
  grep -qx "prefix=$prefix" "$libdir/pkgconfig/sauno-$name.pc" || fail "sauno-$name.pc names another prefix"
done
for f in SaunoConfig.cmake SaunoConfigVersion.cmake SaunoTargets.cmake; do
  [ -f "$libdir/cmake/Sauno/$f" ] || fail "the CMake package lacks $f"
done
# The contract is installed, the mechanism is not.
for h in store/StoreTable.h store/TableFiles.h mesh/basemesh.h material/material.h engine/scene.h text/hudtext.h \
         sound/soundmanager.h runtime/component.h platform/window.h; do
  [ -f "$prefix/include/sauno/$h" ] || fail "the public header $h is not installed"
done
for h in store/WriteFaults.h store/MappedCopy.h store/StoreClasses.h material/rescale.h material/material_classes.h \
         mesh/vectorfile3ds.h text/text_classes.h sound/sound_classes.h runtime/reader.h platform/keyboard.h; do
  [ -e "$prefix/include/sauno/$h" ] && fail "the internal header $h is installed"
done
[ -x "$prefix/bin/sauno-view" ] || fail "sauno-view is not installed"
[ -f "$prefix/share/man/man1/sauno-view.1" ] || fail "sauno-view(1) is not installed"

installed_headers_compile "$prefix"
examples_build_and_run "$prefix"
