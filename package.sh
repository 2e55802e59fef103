#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package of the game
# in dist/ (checked with lintian).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
bash scripts/build.sh
deb=$(bash packaging/make_deb.sh build dist)
lintian --fail-on error,warning "$deb"
echo "$deb"
