#!/usr/bin/env bash
# Runs every libFuzzer harness (tests/fuzz_* of a build configured with
# -DKALO3D_FUZZ=ON) for a bounded time, each on a temporary copy of its seeds
# in tests/fuzz/corpus/<harness>/, so that the seeds in the tree stay as they
# are. Fails when any harness finds a crash, a sanitizer report, a leak, an
# input slower than 10 s or one needing more than 2 GiB; the input is kept in
# BUILD_DIR/fuzz-artifacts/<harness>/ and the end of the log is shown.
#
# Usage: scripts/run-fuzz.sh BUILD_DIR
# FUZZ_SECONDS: seconds per harness, 60 unless set.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${FUZZ_SECONDS:-60}

mapfile -t harnesses < <(find "$build/tests" -maxdepth 1 -type f -executable -name 'fuzz_*' | sort)
if [[ ${#harnesses[@]} -eq 0 ]]; then
    echo "run-fuzz: no fuzz_* harness in $build/tests (configure with clang and -DKALO3D_FUZZ=ON)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=()
for harness in "${harnesses[@]}"; do
    name=$(basename "$harness")
    mkdir -p "$work/$name/corpus"
    if [[ -d "$root/tests/fuzz/corpus/$name" ]]; then
        cp -R "$root/tests/fuzz/corpus/$name/." "$work/$name/corpus/"
    else
        echo "run-fuzz: $name has no seeds in tests/fuzz/corpus/$name; starting from nothing"
    fi
    artifacts="$build/fuzz-artifacts/$name"
    mkdir -p "$artifacts"
    log="$work/$name/log"
    status=0
    # The harness's own working folder: the program may leave files where it runs.
    (cd "$work/$name" && "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" corpus) >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [[ $status -ne 0 ]]; then
        failed+=("$name")
        echo "run-fuzz: $name FAILED with exit status $status after ${runs:-an unknown number of} runs; the log ends:"
        tail -n 80 "$log"
        echo "run-fuzz: the input that broke $name is in $artifacts/"
    else
        echo "run-fuzz: $name passed, ${runs:-?} runs in $seconds s"
    fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "run-fuzz: failed: ${failed[*]}" >&2
    exit 1
fi
