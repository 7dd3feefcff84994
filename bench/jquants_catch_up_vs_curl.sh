#!/bin/sh
# The catch-up daily update over J-Quants API v2 (quarlink-cli update --source
# jquants, every code, margin on) of 5 missed days of a 4,000-code market
# served by quarlink-pages' API mock, against curl fetching exactly the same
# pages (the mock's log of the run) with keep-alive in one process. Prints the
# best of three runs of each, the requests a day and the ratio; the goal is a
# ratio of at most 1.2 and a peak memory under 64 MB. Ends with a RESULT line
# for bench/run.
# Usage: bench/jquants_catch_up_vs_curl.sh [BUILD_DIR] [CODES] [RUNS]   (defaults: build 4000 3)
set -eu
BUILD=${1:-build}
CODES=${2:-4000}
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

# The served market ends on Friday 2026-01-09; the chart folder's data end
# before the New Year holidays, so 2026-01-05 to 01-09 are the missed days.
"$PAGES" generate "$WORK/market" --codes "$CODES" --from 2025 --to 20260109 --seed 5 >/dev/null
"$PAGES" generate "$WORK/chart0" --codes "$CODES" --from 2025 --to 20260102 --seed 5 >/dev/null
"$PAGES" serve "$WORK/market" --port 0 --api-key "$KEY" --plan premium --rate-window-ms 1 \
    --log "$WORK/requests.log" >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/server.out")

mkdir -p "$WORK/work"
printf 'jquants=http://127.0.0.1:%s/v2\njquants_rpm=0\n' "$PORT" >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

now_us() { echo $(( $(date +%s%N) / 1000 )); }
best_update=""
best_curl=""
for run in $(seq "$RUNS"); do
    rm -rf "$WORK/chart"
    cp -r "$WORK/chart0" "$WORK/chart"
    : >"$WORK/requests.log"
    start=$(now_us)
    status=0
    JQUANTS_API_KEY=$KEY /usr/bin/time -f %M -o "$WORK/peak" "$CLI" --workdir "$WORK/work" update --source jquants \
        --all-codes --from 20260105 --through 20260109 >"$WORK/update.out" 2>&1 || status=$?
    t=$(( $(now_us) - start ))
    if [ "$status" -ne 0 ]; then
        echo "quarlink-cli update --source jquants exited $status:" >&2
        tail -n 5 "$WORK/update.out" >&2
        exit 1
    fi
    if [ -z "$best_update" ] || [ "$t" -lt "$best_update" ]; then best_update=$t; fi
    peak=$(tail -n 1 "$WORK/peak")
    if [ -z "${PEAK:-}" ] || [ "$peak" -gt "$PEAK" ]; then PEAK=$peak; fi

    # The same targets, asking for gzip as the client does (curl decodes nothing).
    awk -v port="$PORT" '{ printf "url = \"http://127.0.0.1:%s%s\"\noutput = \"/dev/null\"\n", port, $0 }' \
        "$WORK/requests.log" >"$WORK/curl.conf"
    start=$(now_us)
    curl -s -H "x-api-key: $KEY" -H 'Accept-Encoding: gzip' -K "$WORK/curl.conf"
    t=$(( $(now_us) - start ))
    if [ -z "$best_curl" ] || [ "$t" -lt "$best_curl" ]; then best_curl=$t; fi
done
N=$(grep -c '^url' "$WORK/curl.conf")
LAST=$(tail -n 1 "$WORK/update.out")

awk -v u="$best_update" -v c="$best_curl" -v n="$N" -v runs="$RUNS" -v peak="$PEAK" -v codes="$CODES" \
    -v last="$LAST" 'BEGIN {
    perday = (n - 1) / 5
    printf "requests: %d (the calendar, then %.1f a day: daily bars pages and margin)\n", n, perday
    printf "last status line: %s\n", last
    printf "quarlink-cli catch-up (best of %d): %.3f s, peak memory %.1f MB (goal: under 64 MB)\n", runs, u / 1e6, peak / 1024
    printf "curl alone (best of %d):            %.3f s\n", runs, c / 1e6
    printf "ratio catch-up/curl: %.2f (goal: at most 1.2)\n", u / c
    printf "RESULT jquants_catch_up %.3f s %.3f %.2f %s J-Quants catch-up of 5 days, %d codes, %.1f requests a day ; curl fetching the same pages\n", u / 1e6, c / 1e6, u / c, peak, codes, perday
}'
