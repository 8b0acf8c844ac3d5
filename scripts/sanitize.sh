#!/usr/bin/env bash
# Builds the checking build (scripts/setup-asan.sh) and runs every test in it: a memory error, a
# leak or undefined behaviour fails the test that met it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-asan.sh
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_stack_use_after_return=1:strict_init_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
ctest --test-dir "${ASAN_BUILD_DIR:-build-asan}" --output-on-failure -j "$(nproc)"
