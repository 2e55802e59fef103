#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian packages in dist/: the
# game, its libraries and their development files (all checked with lintian).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
bash scripts/build.sh
made=$(bash packaging/make_deb.sh build dist)
mapfile -t debs <<<"$made"
lintian --fail-on error,warning "${debs[@]}"
printf '%s\n' "${debs[@]}"
