#!/usr/bin/env bash
# Runs each fuzz target of the checking build for FUZZ_SECONDS (default 30) from its seeds
# (fuzz/corpus/<target>, inputs that once failed among them, and the examples) and dictionary.
# What a run finds is kept in build-asan/fuzz/corpus/<target>; an input that crashes, leaks, breaks a checked property or takes
# longer than FUZZ_TIMEOUT seconds (default 10) is written to build-asan/fuzz/artifacts/ and fails
# the script. Arguments choose targets (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-30}"
timeout="${FUZZ_TIMEOUT:-10}"
build="${ASAN_BUILD_DIR:-build-asan}"
all=(FuzzLineFile FuzzStationDocument FuzzArchiveFile FuzzCommandLine FuzzModbusRequest FuzzStore FuzzLineBackup FuzzSiteFile FuzzServeRequest)
if [ $# -gt 0 ]; then targets=("$@"); else targets=("${all[@]}"); fi

bash scripts/setup-asan.sh "${targets[@]}"

# Seeds and dictionary option of each target.
seeds() {
    case "$1" in
        FuzzLineFile) echo "fuzz/corpus/$1 examples/lines" ;;
        FuzzStationDocument) echo "fuzz/corpus/$1 examples/stations" ;;
        FuzzSiteFile) echo "fuzz/corpus/$1 examples/site" ;;
        *) echo "fuzz/corpus/$1" ;;
    esac
}
dictionary() {
    case "$1" in
        FuzzLineFile | FuzzLineBackup | FuzzSiteFile) echo "-dict=fuzz/LineFile.dict" ;;
        FuzzCommandLine) echo "-dict=fuzz/CommandLine.dict" ;;
        FuzzModbusRequest | FuzzServeRequest) ;;
        *) echo "-dict=fuzz/Xml.dict" ;;
    esac
}

mkdir -p "$build/fuzz/artifacts"
failed=()
for target in "${targets[@]}"; do
    corpus="$build/fuzz/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target: ${seconds} s"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout="$timeout" -print_final_stats=1 \
            $(dictionary "$target") -artifact_prefix="$build/fuzz/artifacts/$target-" \
            "$corpus" $(seeds "$target") > "$build/fuzz/$target.log" 2>&1; then
        tail -n 60 "$build/fuzz/$target.log"
        failed+=("$target")
    else
        grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$build/fuzz/$target.log" || true
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]} (inputs in $build/fuzz/artifacts/)"
    exit 1
fi
