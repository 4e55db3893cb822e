#!/usr/bin/env bash
# Configures and builds one preset (default: default). Usage: scripts/build.sh [preset]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}
cmake --preset "$preset" -G Ninja >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
