#!/usr/bin/env bash
# The checking build: installs what it needs on Debian 12 (clang with its sanitizer and libFuzzer
# runtimes, and what setup.sh installs), then configures and builds the folder build-asan with
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzz targets. Arguments are build targets
# (default: everything). ASAN_BUILD_DIR chooses the folder.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libxml2-dev nlohmann-json3-dev
          libmodbus-dev libgtest-dev libgmock-dev clang libclang-rt-14-dev python3
          qt6-websockets-dev libboost-dev libssl-dev libqrencode-dev
          chromium chromium-driver python3-selenium openssl)
bash scripts/install-packages.sh "${packages[@]}"

build="${ASAN_BUILD_DIR:-build-asan}"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1 keeps the sanitizers' reports readable and the tests quick; no NDEBUG, so assertions stay.
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
      -DZD4270_FUZZ=ON
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$build" -j "$(nproc)" "${targets[@]}"
