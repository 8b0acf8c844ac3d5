#!/usr/bin/env bash
# Records the frame log of every case of tests/data/frames/cases.txt again with the built zd4270
# (through test_cli, which runs the cases as the test does) into a temporary folder, and prints how
# each differs from its recording. Exit code 0 when none differs.
#
#   scripts/compare-frames.sh [--no-times] [--update] [BUILD_DIR]
#
#   --no-times  compare without the times (the first field of each frame line)
#   --update    write the new recordings over tests/data/frames/ (after a deliberate change)
#   BUILD_DIR   the build folder (default: build, or $BUILD_DIR)
#
# The test (FrameLogTest in test_cli) is the judge: it lets a read-only command lose the pages'
# preview frames, which this script shows as a difference.
set -euo pipefail
cd "$(dirname "$0")/.."

update=0
times=1
build="${BUILD_DIR:-build}"
for arg in "$@"; do
    case "$arg" in
        --update) update=1 ;;
        --no-times) times=0 ;;
        -h | --help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) echo "compare-frames.sh: no option $arg" >&2; exit 2 ;;
        *) build="$arg" ;;
    esac
done

frames=tests/data/frames
if [[ ! -f "$build/build.ninja" && ! -f "$build/Makefile" ]]; then
    echo "compare-frames.sh: $build is no build folder (configure it first, e.g. bash scripts/setup.sh)" >&2
    exit 2
fi
cmake --build "$build" --target zd4270_app test_cli >/dev/null

new="$(mktemp -d)"
trap 'rm -rf "$new"' EXIT
if ! ZD4270_FRAMES_RECORD="$new" "$build/test_cli" --gtest_filter='Cases/FrameLogTest.*' \
        >"$new/test.log" 2>&1; then
    echo "compare-frames.sh: recording failed:" >&2
    grep -v '^\[ \(RUN\|       OK\) ' "$new/test.log" | tail -n 40 >&2
    exit 1
fi

# The case names, in the order of the list.
mapfile -t cases < <(grep -v '^\s*\(#\|$\)' "$frames/cases.txt" | awk '{print $1}')

if ((update)); then
    changed=0
    for name in "${cases[@]}"; do
        if ! cmp -s "$new/$name.txt" "$frames/$name.txt" 2>/dev/null; then
            cp "$new/$name.txt" "$frames/$name.txt"
            echo "updated $frames/$name.txt"
            changed=$((changed + 1))
        fi
    done
    for file in "$frames"/*.txt; do
        name="$(basename "$file" .txt)"
        [[ "$name" == cases ]] && continue
        if ! printf '%s\n' "${cases[@]}" | grep -qx "$name"; then
            echo "note: $file belongs to no case of cases.txt (left as it is)"
        fi
    done
    echo "$changed of ${#cases[@]} recordings rewritten"
    exit 0
fi

# Without the times, a frame line keeps what it is and what was heard.
strip() {
    if ((times)); then cat "$1"; else sed -E 's/^[0-9]+\.[0-9]{3} //' "$1"; fi
}

differ=0
for name in "${cases[@]}"; do
    if [[ ! -f "$frames/$name.txt" ]]; then
        echo "== $name: no recording ($frames/$name.txt); --update writes it"
        differ=$((differ + 1))
        continue
    fi
    if ! diff -q <(strip "$frames/$name.txt") <(strip "$new/$name.txt") >/dev/null; then
        echo "== $name: differs"
        diff -u --label "recorded/$name.txt" --label "new/$name.txt" \
            <(strip "$frames/$name.txt") <(strip "$new/$name.txt") || true
        differ=$((differ + 1))
    fi
done
if ((differ)); then
    echo "$differ of ${#cases[@]} cases differ from their recordings"
    exit 1
fi
echo "all ${#cases[@]} cases send the recorded frames$( ((times)) && echo ", at the recorded times")"
