#!/bin/sh
# Initial data creation (quarlink-cli init-create, margin on) of a 500-code
# market over ten years served by quarlink-pages: prints the codes per second
# and the time per code against curl fetching the same pages (the server's log
# of the job's requests, replayed in one process). Then the calendar alignment
# at 1x, 4x and 16x a ten-year calendar: the time per row must stay flat (a
# quadratic alignment would grow 4x and 16x). RESULT lines for bench/run last.
# Usage: bench/init_create_bench.sh [BUILD_DIR] [CODES]   (defaults: build 500)
set -eu
BUILD=${1:-build}
CODES=${2:-500}
PAGES="$BUILD/quarlink-pages"
CLI="$BUILD/quarlink-cli"
ALIGN="$BUILD/bench/align_calendar_bench"
[ -x "$PAGES" ] && [ -x "$CLI" ] && [ -x "$ALIGN" ] || { echo "build $PAGES, $CLI and $ALIGN first" >&2; exit 1; }

WORK=$(mktemp -d)
SERVER=""
cleanup() { [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null; rm -rf "$WORK"; }
trap cleanup EXIT INT TERM

FROM=$(( $(date +%Y) - 9 ))
"$PAGES" generate "$WORK/market" --codes "$CODES" --from "$FROM" --seed 7
"$PAGES" serve "$WORK/market" --port 0 --log "$WORK/requests.log" >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")

mkdir -p "$WORK/work" "$WORK/chart/data"
printf 'quote=127.0.0.1:%s\nhistory=127.0.0.1:%s\nstock=127.0.0.1:%s\n' "$PORT" "$PORT" "$PORT" \
    >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

start=$(date +%s%N)
status=0
/usr/bin/time -f %M -o "$WORK/peak" \
    "$CLI" --workdir "$WORK/work" init-create --start-year "$FROM" >"$WORK/create.out" 2>&1 || status=$?
t=$(( ($(date +%s%N) - start) / 1000 ))
if [ "$status" -ne 0 ]; then
    echo "quarlink-cli init-create exited $status:" >&2
    tail -n 5 "$WORK/create.out" >&2
    exit 1
fi
FILES=$(ls "$WORK/work/init" | wc -l)
ROWS=$(( $(stat -c %s "$WORK/market/data/0101") / 32 ))
PEAK=$(tail -n 1 "$WORK/peak")

# The same pages fetched by curl alone, best of three.
awk -v port="$PORT" '{ printf "url = \"http://127.0.0.1:%s%s\"\noutput = \"/dev/null\"\n", port, $0 }' \
    "$WORK/requests.log" >"$WORK/curl.conf"
PAGES_FETCHED=$(grep -c '^' "$WORK/requests.log")
best=""
for run in 1 2 3; do
    start=$(date +%s%N)
    curl -s -0 -K "$WORK/curl.conf"
    c=$(( ($(date +%s%N) - start) / 1000 ))
    if [ -z "$best" ] || [ "$c" -lt "$best" ]; then best=$c; fi
done
awk -v t="$t" -v c="$best" -v f="$FILES" -v r="$ROWS" -v p="$PAGES_FETCHED" -v from="$FROM" -v peak="$PEAK" 'BEGIN {
    printf "init-create from %d (%d trading days), codes 1000..9999 visited\n", from, r
    printf "files created: %d in %.2f s: %.1f codes/s, %.2f ms per code\n", f, t / 1e6, f / (t / 1e6), t / 1e3 / f
    printf "curl fetching the same %d pages (best of 3): %.2f s, %.2f ms per code\n", p, c / 1e6, c / 1e3 / f
    printf "ratio init-create/curl: %.2f\n", t / c
    printf "RESULT init_create_code %.2f ms/code %.2f %.2f %s initial data per code, %d codes x %d days ; curl fetching the same %d pages\n", t / 1e3 / f, c / 1e3 / f, t / c, peak, f, r, p
}'

/usr/bin/time -f %M -o "$WORK/peak" "$ALIGN" --benchmark_format=json >"$WORK/align.json" 2>/dev/null
PEAK=$(tail -n 1 "$WORK/peak")
sed -n 's/.*"s_per_row": *\([0-9.e+-]*\).*/\1/p' "$WORK/align.json" |
    awk -v peak="$PEAK" 'BEGIN { split("1x 4x 16x", size) }
         { ns[NR] = $1 * 1e9; printf "calendar alignment %3s: %.2f ns/row\n", size[NR], ns[NR] }
         END {
             if (NR < 3) exit 1
             printf "per-row time 4x/1x: %.2f, 16x/1x: %.2f (flat: about 1)\n", ns[2] / ns[1], ns[3] / ns[1]
             printf "RESULT align_calendar_16x %.2f ns/row %.2f %.2f %s calendar alignment, 16x ten years ; same at 1x\n", ns[3], ns[1], ns[3] / ns[1], peak
         }'
