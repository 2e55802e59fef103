#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
bash scripts/build.sh
cd build
# Messages go to standard error so that nothing waits for a click.
export SAUNO_MESSAGES=stderr
exec xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j "$(nproc)" "$@"
