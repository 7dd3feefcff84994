# Shared by the J-Quants benchmarks (sourced): a quarlink-pages API mock,
# one quarlink-cli run timed with its peak memory, and curl replaying the
# pages that run asked for (from the mock's log) with keep-alive in one
# process, asking for gzip as the client does. Times are in microseconds.
#   jq_setup BUILD           checks the tools, makes $WORK (removed on exit)
#   jq_serve MARKET [ARGS]   serves MARKET (plan $JQ_PLAN, default premium;
#                            ARGS to quarlink-pages serve); $PORT, and a working
#                            folder $WORK/work whose chart folder is $WORK/chart
#   jq_time_job OUT ARGS...  quarlink-cli ARGS...: $BEST_JOB, $PEAK (kB)
#   jq_time_curl             the same pages by curl: $BEST_CURL, $REQUESTS
#   jq_time_write DIR        DIR's files written anew elsewhere, then one sync:
#                            the output half of the floor ($WORK/write.times)
#   jq_median NAME           the median of the times of NAME (job, curl, write,
#                            or floor: curl + write of the same run)
# Runs alternate (job, curl, write, job, ...): one slow spell of a shared
# machine weighs on each side alike, and the medians are reported.
KEY=bench-key-not-secret
BEST_JOB=""
BEST_CURL=""
PEAK=0

jq_setup() {
    PAGES="$1/quarlink-pages"
    CLI="$1/quarlink-cli"
    command -v curl >/dev/null || { echo "curl is missing: run scripts/bootstrap" >&2; exit 1; }
    [ -x "$PAGES" ] && [ -x "$CLI" ] || { echo "build $PAGES and $CLI first" >&2; exit 1; }
    WORK=$(mktemp -d)
    SERVER=""
    trap 'jq_cleanup' EXIT INT TERM
}

jq_cleanup() {
    if [ -n "$SERVER" ]; then kill "$SERVER" 2>/dev/null || true; fi
    rm -rf "$WORK"
}

jq_serve() {
    market=$1
    shift
    "$PAGES" serve "$market" --port 0 --api-key "$KEY" --plan "${JQ_PLAN:-premium}" --rate-window-ms 0 "$@" \
        --log "$WORK/requests.log" >"$WORK/server.out" &
    SERVER=$!
    while ! grep -q listening "$WORK/server.out" 2>/dev/null; do sleep 0.1; done
    PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/server.out")
    mkdir -p "$WORK/work"
    printf 'jquants=http://127.0.0.1:%s/v2\njquants_rpm=0\n' "$PORT" >"$WORK/work/endpoints.conf"
    "$CLI" --workdir "$WORK/work" options --chart-folder "$WORK/chart" >/dev/null 2>&1
}

jq_now_us() { echo $(( $(date +%s%N) / 1000 )); }

jq_time_job() {
    out=$1
    shift
    : >"$WORK/requests.log"
    start=$(jq_now_us)
    status=0
    JQUANTS_API_KEY=$KEY /usr/bin/time -f %M -o "$WORK/peak" "$CLI" --workdir "$WORK/work" "$@" >"$out" 2>&1 ||
        status=$?
    t=$(( $(jq_now_us) - start ))
    if [ "$status" -ne 0 ]; then
        echo "quarlink-cli $* exited $status:" >&2
        tail -n 5 "$out" >&2
        exit 1
    fi
    if [ -z "$BEST_JOB" ] || [ "$t" -lt "$BEST_JOB" ]; then BEST_JOB=$t; fi
    echo "$t" >>"$WORK/job.times"
    peak=$(tail -n 1 "$WORK/peak")
    if [ "$peak" -gt "$PEAK" ]; then PEAK=$peak; fi
}

jq_time_curl() {
    awk -v port="$PORT" '{ printf "url = \"http://127.0.0.1:%s%s\"\noutput = \"/dev/null\"\n", port, $0 }' \
        "$WORK/requests.log" >"$WORK/curl.conf"
    start=$(jq_now_us)
    curl -s -H "x-api-key: $KEY" -H 'Accept-Encoding: gzip' -K "$WORK/curl.conf"
    t=$(( $(jq_now_us) - start ))
    if [ -z "$BEST_CURL" ] || [ "$t" -lt "$BEST_CURL" ]; then BEST_CURL=$t; fi
    echo "$t" >>"$WORK/curl.times"
    REQUESTS=$(grep -c '^url' "$WORK/curl.conf")
}

jq_time_write() {
    rm -rf "$WORK/floor"
    mkdir -p "$WORK/floor"
    start=$(jq_now_us)
    cp -r --reflink=never "$1/." "$WORK/floor/"
    sync
    echo $(( $(jq_now_us) - start )) >>"$WORK/write.times"
    rm -rf "$WORK/floor"
}

jq_median() {
    if [ "$1" = floor ]; then
        paste "$WORK/curl.times" "$WORK/write.times" | awk '{ print $1 + $2 }'
    else
        cat "$WORK/$1.times"
    fi | sort -n | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
