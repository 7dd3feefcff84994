#!/bin/sh
# Time per quote page: our client fetching and reading the Yahoo quote pages
# of 2,000 codes from quarlink-pages, against curl fetching the same URLs
# sequentially in one process. Prints the best of five passes of each and
# the ratio (ours / curl), then a RESULT line for bench/run.
# Usage: bench/compare_with_curl.sh [BUILD_DIR] [CODES]   (defaults: build 2000)
set -eu
BUILD=${1:-build}
CODES=${2:-2000}
PAGES="$BUILD/quarlink-pages"
BENCH="$BUILD/bench/quote_fetch_bench"
command -v curl >/dev/null || { echo "curl is missing: run scripts/bootstrap" >&2; exit 1; }
[ -x "$PAGES" ] && [ -x "$BENCH" ] || { echo "build $PAGES and $BENCH first" >&2; exit 1; }

WORK=$(mktemp -d)
SERVER=""
cleanup() { [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT INT TERM

"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$(date +%Y)" --seed 3
"$PAGES" serve "$WORK/market" --port 0 >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")

QUARLINK_BENCH_PORT=$PORT QUARLINK_BENCH_MARKET="$WORK/market" \
    /usr/bin/time -f %M -o "$WORK/peak" "$BENCH" --benchmark_format=json >"$WORK/bench.json"
PEAK=$(tail -n 1 "$WORK/peak")
OURS=$(sed -n 's/.*"best_us_per_page": *\([0-9.e+-]*\).*/\1/p' "$WORK/bench.json" | head -n 1)
FAILURES=$(sed -n 's/.*"failures": *\([0-9.e+-]*\).*/\1/p' "$WORK/bench.json" | head -n 1)

: >"$WORK/curl.conf"
for f in "$WORK"/market/data/*; do
    code=$(basename "$f")
    [ "$code" -ge 1000 ] || continue
    printf 'url = "http://127.0.0.1:%s/q?s=%d&d=t"\noutput = "/dev/null"\n' "$PORT" "$code" >>"$WORK/curl.conf"
done
N=$(grep -c '^url' "$WORK/curl.conf")
best=""
for run in 1 2 3 4 5; do
    start=$(date +%s%N)
    curl -s -0 -K "$WORK/curl.conf"
    end=$(date +%s%N)
    t=$(( (end - start) / 1000 ))
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
done
CURL=$(awk -v t="$best" -v n="$N" 'BEGIN { printf "%.1f", t / n }')
awk -v o="$OURS" -v c="$CURL" -v n="$N" -v f="$FAILURES" -v peak="$PEAK" 'BEGIN {
    printf "pages: %d (reader failures: %d)\n", n, f
    printf "quarlink HttpClient + reader: %.1f us/page\n", o
    printf "curl (one process, best of 5): %.1f us/page\n", c
    printf "ratio ours/curl: %.2f\n", o / c
    printf "RESULT quote_page %.1f us/page %.1f %.2f %s quote page fetched and read, %d codes ; curl fetching the same pages\n", o, c, o / c, peak, n
}'
