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
PAGES="$BUILD/quarlink-pages"
CLI="$BUILD/quarlink-cli"
KEY=bench-key-not-secret
command -v curl >/dev/null || { echo "curl is missing: run scripts/bootstrap" >&2; exit 1; }
[ -x "$PAGES" ] && [ -x "$CLI" ] || { echo "build $PAGES and $CLI first" >&2; exit 1; }

WORK=$(mktemp -d)
SERVER=""
cleanup() { [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT INT TERM

FROM=$(( $(date +%Y) - 9 ))
"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$FROM" --seed 7 >/dev/null
"$PAGES" serve "$WORK/market" --port 0 --api-key "$KEY" --plan premium --rate-window-ms 1 \
    --log "$WORK/requests.log" >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/server.out")

mkdir -p "$WORK/work" "$WORK/chart/data"
printf 'jquants=http://127.0.0.1:%s/v2\njquants_rpm=0\n' "$PORT" >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

now_us() { echo $(( $(date +%s%N) / 1000 )); }
best_create=""
best_curl=""
PEAK=0
for run in $(seq "$RUNS"); do
    rm -rf "$WORK/work/init"
    : >"$WORK/requests.log"
    start=$(now_us)
    status=0
    JQUANTS_API_KEY=$KEY /usr/bin/time -f %M -o "$WORK/peak" "$CLI" --workdir "$WORK/work" init-create \
        --source jquants --start-year "$FROM" >"$WORK/create.out" 2>&1 || status=$?
    t=$(( $(now_us) - start ))
    if [ "$status" -ne 0 ]; then
        echo "quarlink-cli init-create --source jquants exited $status:" >&2
        tail -n 5 "$WORK/create.out" >&2
        exit 1
    fi
    if [ -z "$best_create" ] || [ "$t" -lt "$best_create" ]; then best_create=$t; fi
    peak=$(tail -n 1 "$WORK/peak")
    if [ "$peak" -gt "$PEAK" ]; then PEAK=$peak; fi

    # The same targets, asking for gzip as the client does (curl decodes nothing).
    awk -v port="$PORT" '{ printf "url = \"http://127.0.0.1:%s%s\"\noutput = \"/dev/null\"\n", port, $0 }' \
        "$WORK/requests.log" >"$WORK/curl.conf"
    start=$(now_us)
    curl -s -H "x-api-key: $KEY" -H 'Accept-Encoding: gzip' -K "$WORK/curl.conf"
    t=$(( $(now_us) - start ))
    if [ -z "$best_curl" ] || [ "$t" -lt "$best_curl" ]; then best_curl=$t; fi
done
N=$(grep -c '^url' "$WORK/curl.conf")
FILES=$(ls "$WORK/work/init" | wc -l)
DAYS=$(( $(stat -c %s "$WORK/market/data/0101") / 32 ))

awk -v u="$best_create" -v c="$best_curl" -v n="$N" -v runs="$RUNS" -v peak="$PEAK" -v f="$FILES" -v d="$DAYS" \
    -v from="$FROM" 'BEGIN {
    printf "init-create --source jquants from %d: %d files, %d business days\n", from, f, d
    printf "requests: %d (master and calendar, then %.1f a code: daily bars pages and margin)\n", n, (n - 2) / f
    printf "quarlink-cli init-create (best of %d): %.3f s, %.2f ms per code, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, u / 1e3 / f, peak / 1024
    printf "curl alone (best of %d):                %.3f s, %.2f ms per code\n", runs, c / 1e6, c / 1e3 / f
    printf "ratio init-create/curl: %.2f (goal: at most 1.2)\n", u / c
    printf "RESULT jquants_init_create %.2f ms/code %.2f %.2f %s J-Quants initial data per code, %d codes x %d days, %.1f requests a code ; curl fetching the same pages\n", u / 1e3 / f, c / 1e3 / f, u / c, peak, f, d, (n - 2) / f
}'
