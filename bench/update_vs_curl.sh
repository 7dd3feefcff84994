#!/bin/sh
# The whole index-only daily update (quarlink-cli update, margin on, InfoSeek)
# of a 2,000-code market served by quarlink-pages, against curl fetching the
# same pages sequentially in one process. Prints the best of three runs of
# each and the ratio; the goal is a ratio of at most 1.25. Ends with a
# RESULT line for bench/run.
# Usage: bench/update_vs_curl.sh [BUILD_DIR] [CODES] [RUNS]   (defaults: build 2000 3)
set -eu
BUILD=${1:-build}
CODES=${2:-2000}
PAGES="$BUILD/quarlink-pages"
CLI="$BUILD/quarlink-cli"
RUNS=${3:-3}
command -v curl >/dev/null || { echo "curl is missing: run scripts/bootstrap" >&2; exit 1; }
[ -x "$PAGES" ] && [ -x "$CLI" ] || { echo "build $PAGES and $CLI first" >&2; exit 1; }

WORK=$(mktemp -d)
SERVER=""
cleanup() { [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT INT TERM

"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$(( $(date +%Y) - 1 ))" --seed 5
"$PAGES" serve "$WORK/market" --port 0 >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")

# A chart folder holding the market's files and index.txt: each run replaces
# the last record of every code with the same day's, as a rerun on one day does.
mkdir -p "$WORK/work"
cp -r "$WORK/market" "$WORK/chart"
printf 'quote=127.0.0.1:%s\nhistory=127.0.0.1:%s\nstock=127.0.0.1:%s\n' "$PORT" "$PORT" "$PORT" \
    >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

# The pages the update reads: the Nikkei average for the date, then every
# code of index.txt in its order.
{
    printf 'url = "http://127.0.0.1:%s/MnStock/100000018/sresult/"\noutput = "/dev/null"\n' "$PORT"
    LC_ALL=C sed -n 's/^\([0-9][0-9][0-9][0-9]\),.*/\1/p' "$WORK/chart/index.txt" |
        awk -v port="$PORT" '{ printf "url = \"http://127.0.0.1:%s/MnStock/%d/sresult/\"\noutput = \"/dev/null\"\n", port, $1 + 0 }'
} >"$WORK/curl.conf"
N=$(grep -c '^url' "$WORK/curl.conf")

now_us() { echo $(( $(date +%s%N) / 1000 )); }
best_update=""
best_curl=""
for run in $(seq $RUNS); do
    start=$(now_us)
    status=0
    /usr/bin/time -f %M -o "$WORK/peak" "$CLI" --workdir "$WORK/work" update >"$WORK/update.out" 2>&1 || status=$?
    t=$(( $(now_us) - start ))
    if [ "$status" -ne 0 ]; then
        echo "quarlink-cli update exited $status:" >&2
        tail -n 5 "$WORK/update.out" >&2
        exit 1
    fi
    if [ -z "$best_update" ] || [ "$t" -lt "$best_update" ]; then best_update=$t; fi

    start=$(now_us)
    curl -s -0 -K "$WORK/curl.conf"
    t=$(( $(now_us) - start ))
    if [ -z "$best_curl" ] || [ "$t" -lt "$best_curl" ]; then best_curl=$t; fi
done
STORED=$(grep -c '^' "$WORK/update.out")
PEAK=$(tail -n 1 "$WORK/peak")

awk -v u="$best_update" -v c="$best_curl" -v n="$N" -v s="$STORED" -v runs="$RUNS" -v peak="$PEAK" 'BEGIN {
    printf "pages: %d (status lines of the last update: %d)\n", n, s
    printf "quarlink-cli update (best of %d): %.3f s (%.1f us/page)\n", runs, u / 1e6, u / n
    printf "curl alone (best of %d):          %.3f s (%.1f us/page)\n", runs, c / 1e6, c / n
    printf "ratio update/curl: %.2f (goal: at most 1.25)\n", u / c
    printf "RESULT daily_update %.3f s %.3f %.2f %s daily update (index only + margin), %d pages ; curl fetching the same pages\n", u / 1e6, c / 1e6, u / c, peak, n
}'
