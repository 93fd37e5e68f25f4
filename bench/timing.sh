# Sourced by the bench scripts: how a whole command is timed.

# Median of a command's wall time over $rounds rounds, in milliseconds.
median_ms() {
    local times=()
    for _ in $(seq "$rounds"); do
        local t0 t1
        t0=$(date +%s%N)
        "$@" >/dev/null
        t1=$(date +%s%N)
        times+=($(((t1 - t0) / 1000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.2f", a[int((NR+1)/2)]/1000}'
}

# A over B, to two places.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
