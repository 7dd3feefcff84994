#!/bin/sh
# Initial data creation through J-Quants API v2 (quarlink-cli init-create
# --source jquants, margin on) of a 500-code market over ten years served by
# quarlink-pages' API mock, against curl fetching exactly the same pages (the
# mock's log of the run) with keep-alive in one process. Prints the best of
# the runs of each, the requests per code and the ratio; the goal is a ratio
# of at most 1.2 and a peak memory under 64 MB. Ends with a RESULT line for
# bench/run.
# Usage: bench/jquants_init_create_bench.sh [BUILD_DIR] [CODES] [RUNS]   (defaults: build 500 3)
set -eu
BUILD=${1:-build}
CODES=${2:-500}
RUNS=${3:-3}
. "$(dirname "$0")/jquants_bench_lib.sh"
jq_setup "$BUILD"

FROM=$(( $(date +%Y) - 9 ))
"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$FROM" --seed 7 >/dev/null
jq_serve "$WORK/market"
mkdir -p "$WORK/chart/data"

for run in $(seq "$RUNS"); do
    rm -rf "$WORK/work/init"
    jq_time_job "$WORK/create.out" init-create --source jquants --start-year "$FROM"
    jq_time_curl
done
FILES=$(ls "$WORK/work/init" | wc -l)
DAYS=$(( $(stat -c %s "$WORK/market/data/0101") / 32 ))

awk -v u="$BEST_JOB" -v c="$BEST_CURL" -v n="$REQUESTS" -v runs="$RUNS" -v peak="$PEAK" -v f="$FILES" -v d="$DAYS" \
    -v from="$FROM" 'BEGIN {
    printf "init-create --source jquants from %d: %d files, %d business days\n", from, f, d
    printf "requests: %d (master and calendar, then %.1f a code: daily bars pages and margin)\n", n, (n - 2) / f
    printf "quarlink-cli init-create (best of %d): %.3f s, %.2f ms per code, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, u / 1e3 / f, peak / 1024
    printf "curl alone (best of %d):                %.3f s, %.2f ms per code\n", runs, c / 1e6, c / 1e3 / f
    printf "ratio init-create/curl: %.2f (goal: at most 1.2)\n", u / c
    printf "RESULT jquants_init_create %.2f ms/code %.2f %.2f %s J-Quants initial data per code, %d codes x %d days, %.1f requests a code ; curl fetching the same pages\n", u / 1e3 / f, c / 1e3 / f, u / c, peak, f, d, (n - 2) / f
}'
