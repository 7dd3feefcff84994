#!/bin/sh
# Initial data through J-Quants' bulk files (quarlink-cli init-create --source
# jquants --topix, Premium plan: bars, margin and TOPIX a month a file, the
# current month's days a file each) of a CODES-code market over YEARS years
# ending a week ago, served by quarlink-pages' API mock, against curl fetching
# the same files: the run's own API requests (master, calendar, lists) and a
# /v2/bulk/get for each file it took, with keep-alive in one process, then
# every presigned link without the key in a second one, piped through
# gzip -dc, and against the floor: that curl plus writing the same init files
# anew and one sync. Prints the medians of the interleaved runs, both ratios
# (goal: at most 1.0 against the floor),
# the peak memory (goal: under 64 MB), and the requests and time at each
# plan's pace beside the code-by-code path. Ends with a RESULT line for
# bench/run.
# Usage: bench/jquants_bulk_init_vs_curl.sh [BUILD_DIR] [CODES] [YEARS] [RUNS]   (defaults: build 4000 10 5)
set -eu
BUILD=${1:-build}
CODES=${2:-4000}
YEARS=${3:-10}
RUNS=${4:-5}
. "$(dirname "$0")/jquants_bench_lib.sh"
jq_setup "$BUILD"

# A week back leaves every file of the market published by --now, the margin
# balances of its last day (out the next business day) too.
LAST=$(date -d '7 days ago' +%Y%m%d)
NOW=$(date +%Y-%m-%d)T20:00
FROM=$(( ${LAST%????} - YEARS + 1 ))
"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$FROM" --to "$LAST" --seed 11 >/dev/null
mkdir -p "$WORK/chart/data"

"$PAGES" serve "$WORK/market" --port 0 --api-key "$KEY" --plan premium --rate-window-ms 0 --now "$NOW" \
    --log "$WORK/requests.log" >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")
mkdir -p "$WORK/work"
printf 'jquants=http://127.0.0.1:%s/v2\njquants_rpm=0\njquants_plan=premium\n' "$PORT" >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

API="http://127.0.0.1:$PORT"
wipe() { rm -rf "$WORK/work/init" "$WORK/work/history"; }

# The mock gzips a file when it is first listed or asked for: both once,
# untimed, so that neither side pays for it.
for endpoint in equities/bars/daily markets/margin-interest indices/bars/daily/topix; do
    curl -sf -H "x-api-key: $KEY" -o /dev/null "$API/v2/bulk/list?endpoint=$endpoint&from=$FROM-01"
done
JQUANTS_API_KEY=$KEY "$CLI" --workdir "$WORK/work" init-create --source jquants --topix --start-year "$FROM" \
    >"$WORK/warm.out" 2>&1 || { echo "warm-up run failed:" >&2; tail -n 5 "$WORK/warm.out" >&2; exit 1; }
wipe
DRY=$(JQUANTS_API_KEY=$KEY "$CLI" --workdir "$WORK/work" init-create --source jquants --topix --start-year "$FROM" \
    --dry-run 2>&1 | head -n 1)

# curl: the run's API requests in its order, keep-alive in one process (a
# /v2/bulk/get answers {"url":...} on a line of its own), then each link once,
# without the key, through gzip; sizes and statuses go to $WORK/sizes.
time_curl() {
    # curl pairs the n-th output with the n-th URL wherever it stands: every
    # URL gets one, the links' to standard output.
    awk -v api="$API" '{
        printf "url = \"%s%s\"\n", api, $0
        printf "output = \"%s\"\n", $0 ~ /^\/v2\/bulk\/get/ ? "-" : "/dev/null"
    }' "$WORK/run.log" >"$WORK/api.conf"
    start=$(jq_now_us)
    curl -s --compressed -H "x-api-key: $KEY" -w '\n' -K "$WORK/api.conf" |
        sed -n 's/^{"url":"\(.*\)"}$/url = "\1"/p' >"$WORK/links.conf"
    curl -s -w '%{stderr}%{http_code} %{size_download}\n' -K "$WORK/links.conf" 2>"$WORK/sizes" | gzip -dc >/dev/null
    t=$(( $(jq_now_us) - start ))
    if [ -z "$BEST_CURL" ] || [ "$t" -lt "$BEST_CURL" ]; then BEST_CURL=$t; fi
    echo "$t" >>"$WORK/curl.times"
    [ "$(grep -c '^url' "$WORK/links.conf")" -eq "$FILES" ] && ! grep -qv '^200 ' "$WORK/sizes" ||
        { echo "curl did not get every file: $(grep -vc '^200 ' "$WORK/sizes") of $FILES failed" >&2; exit 1; }
}

for run in $(seq "$RUNS"); do
    wipe
    jq_time_job "$WORK/create.out" init-create --source jquants --topix --start-year "$FROM"
    cp "$WORK/requests.log" "$WORK/run.log"
    REQUESTS=$(wc -l <"$WORK/run.log")
    FILES=$(grep -c '^/v2/bulk/get' "$WORK/run.log")
    LISTS=$(grep -c '^/v2/bulk/list' "$WORK/run.log")
    time_curl
    jq_time_write "$WORK/work/init"
done
MEDIAN_JOB=$(jq_median job)
MEDIAN_CURL=$(jq_median curl)
MEDIAN_FLOOR=$(jq_median floor)
FIRST=$(head -n 1 "$WORK/create.out")
CREATED=$(ls "$WORK/work/init" | wc -l)
BYTES=$(awk '{ s += $2 } END { print s }' "$WORK/sizes")
CSV=$(curl -s -w '\n' -H "x-api-key: $KEY" -K "$WORK/api.conf" | sed -n 's/^{"url":"\(.*\)"}$/url = "\1"/p' |
    curl -s -K - | gzip -dc | wc -c)
DAYS=$(( $(stat -c %s "$WORK/market/data/1301") / 32 ))
[ "$CREATED" -ge "$CODES" ] || { echo "only $CREATED files in init/ for $CODES codes" >&2; exit 1; }

echo "first status line: $FIRST"
echo "--dry-run:         $DRY"
awk -v u="$MEDIAN_JOB" -v c="$MEDIAN_CURL" -v fl="$MEDIAN_FLOOR" -v n="$REQUESTS" -v runs="$RUNS" -v peak="$PEAK" -v f="$FILES" \
    -v codes="$CODES" -v created="$CREATED" -v years="$YEARS" -v from="$FROM" -v last="$LAST" -v days="$DAYS" \
    -v bytes="$BYTES" -v csv="$CSV" -v lists="$LISTS" 'BEGIN {
    printf "init-create --source jquants --topix from %d through %s: %d files in init/, %d business days\n", from, last, created, days
    printf "bulk files: %d, %.1f MB gzip (%.1f MB of CSV)\n", f, bytes / 1e6, csv / 1e6
    printf "requests for %d years: %d = %d list + %d get (one a file) + %d others (master pages, calendar, the days no file holds yet)\n", years, n, lists, f, n - lists - f
    printf "quarlink-cli init-create (median of %d): %.3f s, %.1f MB/s of CSV, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, csv / u, peak / 1024
    printf "curl + gzip -dc (median of %d):          %.3f s\n", runs, c / 1e6
    printf "floor: curl + gzip -dc + the same files written and synced (median of %d): %.3f s\n", runs, fl / 1e6
    printf "ratio init-create/curl: %.2f; init-create/floor: %.2f (goal: at most 1.0)\n", u / c, u / fl
    perCode = 2 * codes + 2
    printf "at each plan'"'"'s pace (requests a minute), downloads not counted:\n"
    printf "  %-9s %6s  %-22s %s\n", "plan", "a min", "bulk files", "code by code (bars and margin a code, master, calendar)"
    split("free light standard premium", plan, " ")
    split("5 60 120 500", rpm, " ")
    for (i = 1; i <= 4; ++i)
        printf "  %-9s %6d  %5d req %8.1f min  %6d req %8.1f min\n", plan[i], rpm[i], n, n / rpm[i], perCode, perCode / rpm[i]
    printf "  (on free the calendar is the only bulk file: the run asks a whole-market day a request instead)\n"
    printf "RESULT jquants_bulk_init %.3f s %.3f %.2f %s J-Quants initial data from the bulk files, %d codes x %d years, %d files (%.0f MB), %d requests, median of %d ; curl + gzip -dc fetching the same files\n", u / 1e6, c / 1e6, u / c, peak, codes, years, f, bytes / 1e6, n, runs
    printf "RESULT jquants_bulk_init_floor %.3f s %.3f %.2f %s the same, against its floor ; curl + gzip -dc + the same init files written and synced\n", u / 1e6, fl / 1e6, u / fl, peak
}'
