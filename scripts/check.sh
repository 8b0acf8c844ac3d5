#!/usr/bin/env bash
# Checks to run before a commit (CI runs them too): the include layers of src/, that the front ends
# leave the form's widgets and page events alone (beyond scripts/layers-baseline.txt), and that every
# C++ file of src, tests, bench and fuzz is as clang-format (the project's .clang-format, the
# version Debian 12 ships) leaves it; ZD4270_FORMAT_CHECK=0 skips the second. Prints each problem as file:line and exits non-zero if there is any.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v python3 > /dev/null || bash scripts/install-packages.sh python3
python3 scripts/check-layers.py

if [ "${ZD4270_FORMAT_CHECK:-1}" = 1 ]; then
    command -v clang-format > /dev/null || bash scripts/install-packages.sh clang-format
    mapfile -d '' files < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) \
        -print0 | sort -z)
    clang-format --dry-run --Werror "${files[@]}"
    echo "check-format: ${#files[@]} files as clang-format leaves them"
else
    echo "check-format: skipped (ZD4270_FORMAT_CHECK=0)"
fi
