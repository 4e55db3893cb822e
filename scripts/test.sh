#!/usr/bin/env bash
# Installs what is missing, builds and runs every test. Usage: scripts/test.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
bash scripts/install-deps.sh
bash scripts/build.sh "$preset"
ctest --preset "$preset" -j "$(nproc)"
