#!/usr/bin/env bash
# Installs what is missing, builds, and runs corvanta-cli with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
bash scripts/build.sh >&2
exec ./build/corvanta-cli "$@"
