# Sourced by the import benchmarks. measure LABEL COMMAND...: runs the command $runs times, one
# after another, emptying "$work/out" before each, and prints the elapsed seconds and the peak
# resident memory of the run of median time.
measure() {
    label=$1
    shift
    : > "$work/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        rm -f "$work"/out/*
        /usr/bin/time -f "%e %M" -a -o "$work/times" "$@" > /dev/null
        i=$((i + 1))
    done
    sort -n "$work/times" | awk -v label="$label" '{ t[NR] = $1; m[NR] = $2 }
        END { mid = int((NR + 1) / 2); printf "%-40s %8.2f s %10.1f MB\n", label, t[mid], m[mid] / 1024 }'
}
