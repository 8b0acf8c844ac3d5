#!/usr/bin/env bash
# Installs what the project needs on Debian 12 (only what is missing), then configures and builds.
# Used by run.sh and test.sh; BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libxml2-dev nlohmann-json3-dev
          libmodbus-dev libgtest-dev libgmock-dev xvfb xauth socat python3 poppler-utils
          qt6-translations-l10n qt6-websockets-dev libboost-dev libssl-dev libqrencode-dev
          chromium chromium-driver python3-selenium openssl python3-clang-14)
bash scripts/install-packages.sh "${packages[@]}"

build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Release}"
cmake --build "$build" -j "$(nproc)"
