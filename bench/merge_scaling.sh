#!/bin/sh
# Merge scaling: time per record of the in-memory merge and of the whole
# price-file merge at 1k, 8k and 64k records, the 64k/1k ratio (flat: about
# 1), and the merge against the exchange sort with a linear search at 8k.
# Prints RESULT lines for bench/run (see there) after the readable ones.
# Usage: bench/merge_scaling.sh [BUILD_DIR] [MIN_TIME_S]   (defaults: build 0.5)
set -eu
BUILD=${1:-build}
MIN_TIME=${2:-0.5}
BENCH="$BUILD/bench/merge_bench"
[ -x "$BENCH" ] || { echo "build $BENCH first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT INT TERM

/usr/bin/time -f %M -o "$WORK/peak" \
    "$BENCH" --benchmark_format=csv --benchmark_min_time="$MIN_TIME" >"$WORK/merge.csv" 2>/dev/null
PEAK=$(tail -n 1 "$WORK/peak")

# CSV columns: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
awk -F, -v peak="$PEAK" '
    /^"BM_/ {
        gsub(/"/, "", $1)
        split($1, part, "/")
        ns[part[1], part[2]] = 1e9 / $7
    }
    function row(key, value, unit, base, label) {
        printf "RESULT %s %.2f %s %s %s %s %s\n", key, value, unit,
            base == "" ? "-" : sprintf("%.2f", base),
            base == "" ? "-" : sprintf("%.3g", value / base), peak, label
    }
    END {
        s = "BM_MergeSeries"; f = "BM_MergePriceFile"; x = "BM_ExchangeSortMerge"
        printf "merge in memory:  %.2f / %.2f / %.2f ns per record at 1k / 8k / 64k\n", ns[s,1024], ns[s,8192], ns[s,65536]
        printf "merge price file: %.2f / %.2f / %.2f ns per record at 1k / 8k / 64k\n", ns[f,1024], ns[f,8192], ns[f,65536]
        printf "exchange sort:    %.2f / %.2f ns per record at 1k / 8k\n", ns[x,1024], ns[x,8192]
        row("merge_series_8k", ns[s,8192], "ns/record", ns[s,1024], "merge in memory, 8k records ; same at 1k")
        row("merge_series_64k", ns[s,65536], "ns/record", ns[s,1024], "merge in memory, 64k records ; same at 1k")
        row("merge_file_64k", ns[f,65536], "ns/record", ns[f,1024], "merge of price files, 64k records ; same at 1k")
        row("merge_vs_exchange_8k", ns[s,8192], "ns/record", ns[x,8192], "merge in memory, 8k records, against the reference ; exchange sort + linear search")
    }' "$WORK/merge.csv"
