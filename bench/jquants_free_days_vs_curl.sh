#!/bin/sh
# Initial data through J-Quants on the free plan (quarlink-cli init-create
# --source jquants), whose bulk files are the calendar's only: a whole-market
# day a request for one year of a CODES-code market served by quarlink-pages'
# API mock, the pace off (jquants_rpm=0), against curl fetching exactly the
# same pages (the mock's log of the run) with the same key and gzip header,
# keep-alive in one process. Prints the medians of the interleaved runs, the
# requests and the ratio (goal: at most 1.2) and the peak memory (goal: under
# 64 MB). Ends with a RESULT line for bench/run.
# Usage: bench/jquants_free_days_vs_curl.sh [BUILD_DIR] [CODES] [RUNS]   (defaults: build 4000 3)
set -eu
BUILD=${1:-build}
CODES=${2:-4000}
RUNS=${3:-3}
. "$(dirname "$0")/jquants_bench_lib.sh"
jq_setup "$BUILD"

# The market runs to 2026-03-31; the free plan's window (two years back to
# twelve weeks before its last day) holds all of 2025.
"$PAGES" generate "$WORK/market" --codes "$CODES" --from 2025 --to 20260331 --seed 13 >/dev/null
JQ_PLAN=free jq_serve "$WORK/market" --now 2026-04-01T20:00
mkdir -p "$WORK/chart/data"

for run in $(seq "$RUNS"); do
    rm -rf "$WORK/work/init" "$WORK/work/history"
    jq_time_job "$WORK/create.out" init-create --source jquants --start-year 2025
    DAYS=$(grep '^/v2/equities/bars/daily?date=[0-9-]*$' "$WORK/requests.log" | sort -u | wc -l)
    jq_time_curl
done
FIRST=$(head -n 1 "$WORK/create.out")
MEDIAN_JOB=$(jq_median job)
MEDIAN_CURL=$(jq_median curl)
FILES=$(ls "$WORK/work/init" | wc -l)
[ "$FILES" -ge "$CODES" ] || { echo "only $FILES files in init/ for $CODES codes" >&2; exit 1; }

echo "first status line: $FIRST"
awk -v u="$MEDIAN_JOB" -v c="$MEDIAN_CURL" -v n="$REQUESTS" -v runs="$RUNS" -v peak="$PEAK" -v f="$FILES" \
    -v days="$DAYS" -v codes="$CODES" 'BEGIN {
    printf "init-create --source jquants on the free plan from 2025 (its window ends 2026-01-06): %d files in init/, %d whole-market days\n", f, days
    printf "requests: %d (master, calendar, lists refused, then each day'"'"'s pages of bars)\n", n
    printf "quarlink-cli init-create (median of %d): %.3f s, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, peak / 1024
    printf "curl alone (median of %d):              %.3f s\n", runs, c / 1e6
    printf "ratio init-create/curl: %.2f (goal: at most 1.2)\n", u / c
    printf "RESULT jquants_free_days %.3f s %.3f %.2f %s J-Quants initial data on Free, a whole-market day a request, %d codes x %d days, %d requests ; curl fetching the same pages\n", u / 1e6, c / 1e6, u / c, peak, codes, days, n
}'
