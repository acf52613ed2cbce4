#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing) and configures and builds
# the given build directory. Usage: scripts/setup.sh BUILD_DIR [cmake options...]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config
          qt6-base-dev qt6-svg-dev qt6-declarative-dev qt6-speech-dev qt6-speech-flite-plugin
          libgtest-dev libgmock-dev libbenchmark-dev
          python3 python3-dbfread python3-dbf
          libsqlite3-dev dpkg-dev file desktop-file-utils appstream man-db groff-base
          systemd clang-format
          qt6-httpserver-dev qt6-websockets-dev libsodium-dev chromium chromium-driver python3-selenium)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
shift
cmake -S "$root" -B "$build" -G Ninja "$@"
cmake --build "$build" -j"$(nproc)"
