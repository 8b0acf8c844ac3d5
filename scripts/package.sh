#!/usr/bin/env bash
# Builds the Debian package (installs what is missing, configures and builds a Release build
# first), then checks it: unpacked into a temporary root, the programs print their version and
# scan an installed example line from there.
set -euo pipefail
cd "$(dirname "$0")/.."
export BUILD_DIR="${BUILD_DIR:-build}"
export BUILD_TYPE=Release
bash scripts/setup.sh
# The check reads the manual pages with man.
bash scripts/install-packages.sh man-db
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$BUILD_DIR/package"
deb=$(ls -t "$BUILD_DIR"/package/zd4270_*.deb | head -n 1)
bash tests/package/CheckPackage.sh "$deb"
echo "Package: $deb"
