#!/bin/sh
# The catch-up daily update over J-Quants API v2 (quarlink-cli update --source
# jquants, every code, margin on) of 5 missed days of a 4,000-code market
# served by quarlink-pages' API mock, against curl fetching exactly the same
# pages (the mock's log of the run) with keep-alive in one process, and
# against the floor: that curl plus writing the same price files anew and one
# sync. Prints the medians of the interleaved runs, the requests a day and
# both ratios; the goal is at most 1.0 against the floor and a peak memory
# under 64 MB. Ends with RESULT lines for bench/run.
# Usage: bench/jquants_catch_up_vs_curl.sh [BUILD_DIR] [CODES] [RUNS]   (defaults: build 4000 5)
set -eu
BUILD=${1:-build}
CODES=${2:-4000}
RUNS=${3:-5}
. "$(dirname "$0")/jquants_bench_lib.sh"
jq_setup "$BUILD"

# The served market ends on Friday 2026-01-09; the chart folder's data end
# before the New Year holidays, so 2026-01-05 to 01-09 are the missed days.
"$PAGES" generate "$WORK/market" --codes "$CODES" --from 2025 --to 20260109 --seed 5 >/dev/null
"$PAGES" generate "$WORK/chart0" --codes "$CODES" --from 2025 --to 20260102 --seed 5 >/dev/null
jq_serve "$WORK/market"

for run in $(seq "$RUNS"); do
    rm -rf "$WORK/chart"
    cp -r "$WORK/chart0" "$WORK/chart"
    # The copy is the benchmark's set-up: on disk before the run, so that the
    # run's flush at its end writes the run's own records, not the copy.
    sync
    jq_time_job "$WORK/update.out" update --source jquants --all-codes --from 20260105 --through 20260109
    jq_time_curl
    jq_time_write "$WORK/chart/data"
done
LAST=$(tail -n 1 "$WORK/update.out")
MEDIAN_JOB=$(jq_median job)
MEDIAN_CURL=$(jq_median curl)
MEDIAN_FLOOR=$(jq_median floor)

awk -v u="$MEDIAN_JOB" -v c="$MEDIAN_CURL" -v fl="$MEDIAN_FLOOR" -v n="$REQUESTS" -v runs="$RUNS" -v peak="$PEAK" -v codes="$CODES" \
    -v last="$LAST" 'BEGIN {
    perday = (n - 1) / 5
    printf "requests: %d (the calendar, then %.1f a day: daily bars pages and margin)\n", n, perday
    printf "last status line: %s\n", last
    printf "quarlink-cli catch-up (median of %d): %.3f s, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, peak / 1024
    printf "curl alone (median of %d):            %.3f s\n", runs, c / 1e6
    printf "floor: curl + the same files written and synced (median of %d): %.3f s\n", runs, fl / 1e6
    printf "ratio catch-up/curl: %.2f; catch-up/floor: %.2f (goal: at most 1.0)\n", u / c, u / fl
    printf "RESULT jquants_catch_up %.3f s %.3f %.2f %s J-Quants catch-up of 5 days, %d codes, %.1f requests a day, median of %d ; curl fetching the same pages\n", u / 1e6, c / 1e6, u / c, peak, codes, perday, runs
    printf "RESULT jquants_catch_up_floor %.3f s %.3f %.2f %s the same, against its floor ; curl + the same price files written and synced\n", u / 1e6, fl / 1e6, u / fl, peak
}'
