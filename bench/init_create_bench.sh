#!/bin/sh
# Initial data creation (quarlink-cli init-create, margin on) of a 500-code
# market over ten years served by quarlink-pages: prints the codes per second.
# Then the calendar alignment at 1x, 4x and 16x a ten-year calendar: the time
# per row must stay flat (a quadratic alignment would grow 4x and 16x).
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
"$PAGES" serve "$WORK/market" --port 0 >"$WORK/server.out" &
SERVER=$!
while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
PORT=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$WORK/server.out")

mkdir -p "$WORK/work" "$WORK/chart/data"
printf 'quote=127.0.0.1:%s\nhistory=127.0.0.1:%s\nstock=127.0.0.1:%s\n' "$PORT" "$PORT" "$PORT" \
    >"$WORK/work/endpoints.conf"
"$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1

start=$(date +%s%N)
status=0
"$CLI" --workdir "$WORK/work" init-create --start-year "$FROM" >"$WORK/create.out" 2>&1 || status=$?
t=$(( ($(date +%s%N) - start) / 1000 ))
if [ "$status" -ne 0 ]; then
    echo "quarlink-cli init-create exited $status:" >&2
    tail -n 5 "$WORK/create.out" >&2
    exit 1
fi
FILES=$(ls "$WORK/work/init" | wc -l)
ROWS=$(( $(stat -c %s "$WORK/market/data/0101") / 32 ))
awk -v t="$t" -v f="$FILES" -v r="$ROWS" -v from="$FROM" 'BEGIN {
    printf "init-create from %d (%d trading days), codes 1000..9999 visited\n", from, r
    printf "files created: %d in %.2f s: %.1f codes/s\n", f, t / 1e6, f / (t / 1e6)
}'

"$ALIGN" --benchmark_format=json >"$WORK/align.json" 2>/dev/null
sed -n 's/.*"s_per_row": *\([0-9.e+-]*\).*/\1/p' "$WORK/align.json" |
    awk 'BEGIN { split("1x 4x 16x", size) }
         { ns[NR] = $1 * 1e9; printf "calendar alignment %3s: %.2f ns/row\n", size[NR], ns[NR] }
         END { if (NR >= 3) printf "per-row time 4x/1x: %.2f, 16x/1x: %.2f (flat: about 1)\n", ns[2] / ns[1], ns[3] / ns[1] }'
