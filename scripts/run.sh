#!/usr/bin/env bash
# Installs what is missing, builds, and starts Corvanta. Without a USB-UART
# adapter plugged in it also offers a simulated module, listed first.
# Extra arguments go to corvanta (e.g. --port /dev/ttyS4).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
bash scripts/build.sh >&2

args=("$@")
if ! compgen -G "/dev/ttyUSB*" >/dev/null && ! compgen -G "/dev/ttyACM*" >/dev/null; then
  echo "No USB-UART adapter found: offering the simulated module first in Com Setting." >&2
  args+=(--simulate)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running under Xvfb, where the window is not visible." >&2
  exec xvfb-run -a ./build/corvanta "${args[@]}"
fi
exec ./build/corvanta "${args[@]}"
