#!/usr/bin/env bash
# Installs what is missing, builds, and runs the tool on the simulated line: the window when a
# display is there, otherwise a short headless demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec "${BUILD_DIR:-build}/zd4270" "$@"
