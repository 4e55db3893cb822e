#!/usr/bin/env bash
# Takes the README's screenshots: the real application under Xvfb against the
# simulated module, driven with xdotool as a user would. Writes docs/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${SCREENSHOT_INNER:-}" ]; then
  for tool in xdotool import xvfb-run; do
    command -v "$tool" >/dev/null || { echo "needs xdotool, imagemagick and xvfb" >&2; exit 1; }
  done
  SCREENSHOT_INNER=1 exec xvfb-run -a -s "-screen 0 760x560x24" "$0" "$@"
fi

./build/corvanta --simulate &
app=$!
trap 'kill $app 2>/dev/null || true' EXIT
main=""
for _ in $(seq 50); do
  main=$(xdotool search --name "Corvanta V1" 2>/dev/null | head -1) && [ -n "$main" ] && break
  sleep 0.1
done
xdotool windowmove "$main" 0 0
sleep 0.5
click() { xdotool mousemove "$1" "$2" click 1; sleep "${3:-0.4}"; }

click 56 21                     # Com Setting
dialog=$(xdotool search --name "^Com Setting$" | head -1)
xdotool windowmove "$dialog" 430 40
sleep 0.5
import -window root -crop 308x253+430+40 docs/dialog.png
click $((430 + 56)) $((40 + 212)) # Open
click 216 117                   # channel Read: no band known yet
click 154 21 1.2                # Search: finds the module on the first tick
click 216 117                   # channel Read again, now with its frequency
click 216 191                   # air baud rate Read
click 216 271                   # module serial parameters Read
click 216 350 0.8               # ID Read
import -window root -crop 411x512+0+0 docs/main-window.png
