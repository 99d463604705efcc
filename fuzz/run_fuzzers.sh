#!/bin/sh
# Runs each fuzz target for SECONDS from its seed corpus and prints how many
# inputs each one executed. Exits 1 when a target found a crash or a mismatch.
# Usage: run_fuzzers.sh BUILD SECONDS TARGET...
set -u
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
failed=0
summary=""
for target in "$@"; do
    mkdir -p "$build/corpus/$target" "$build/logs"
    log="$build/logs/$target.log"
    echo "== fuzz $target ($seconds s)"
    # New inputs go to the build's corpus; the seeds in the repository stay as they are.
    (cd "$build" && ./"${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
        -rss_limit_mb=4096 "corpus/$target" "$here/corpus/$target") >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "== fuzz $target FAILED (status $status), log: $log"
        grep -E "MISMATCH|ERROR|runtime error|Test unit written" "$log" | head -n 20
    fi
    summary="$summary$(printf '%-14s %12s executions  status %s' "$target" "${runs:-?}" "$status")
"
done
echo "== fuzz summary"
printf '%s' "$summary"
exit "$failed"
