#!/usr/bin/env bash
# Installs what building, testing and running Corvanta needs on Debian.
# Usage: scripts/install-deps.sh [windows]
#   windows: also the mingw-w64 cross compiler and Wine, for build-win and scripts/wine-test.sh
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth fonts-liberation
  clang libclang-rt-dev
)
case "${1:-}" in
  "") ;;
  windows) packages+=(mingw-w64 g++-mingw-w64-x86-64-posix wine wine64) ;;
  *)
    echo "usage: $0 [windows]" >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
