#!/usr/bin/env bash
# Image creation against its floor and against genisoimage, in the same run,
# on three trees (made once under BENCH_DIR by trees.sh):
#   small 100,000 files of 0-8 KiB in 2,000 folders
#   flat  50,000 files of 1 KiB in one folder (camera-style names)
#   big   one file of 2 GiB (incompressible)
# The floor is what reading the same data in order costs: `tar cf - TREE |
# cat > /dev/null` for the trees of many files (tar alone would notice
# /dev/null and read nothing), `cat FILE > image` for the big file. On big,
# "synced" is that copy with the image flushed to the disk as tessor flushes
# it (cat, then sync FILE): the floor of a complete image file.
# Jobs take turns within each run, so that a change of the machine's load
# falls on all of them alike. Prints the median wall seconds of RUNS runs,
# the peak RSS, the ratios, and on flat the memory per entry beyond the
# cache: (peak RSS - cache) / entries.
#   CLI=path/to/tessor-cli  another build (an older one, to compare)
#   RUNS=5 TREES="small flat"
#   JOBS="tessor floor"  leave genisoimage out (it takes minutes on flat)
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=${CLI:-build/bin/tessor-cli}
[ -x "$cli" ] || { echo "build first (make build)"; exit 1; }
command -v genisoimage >/dev/null || { echo "genisoimage missing"; exit 1; }
work=${BENCH_DIR:-/tmp/tessor-bench}
runs=${RUNS:-3}
trees=${TREES:-"small flat big"}
cache_mb=32
mkdir -p "$work"

# make_tree NAME: the tree NAME under $work, made once.
source bench/image/trees.sh

# run_timed CMD...: prints "seconds maxrss_kib" of one run; a failed run
# stops the bench (a ratio of a failure means nothing).
run_timed() {
    local tf
    tf=$(mktemp)
    if ! /usr/bin/time -o "$tf" -f '%e %M' "$@" > /dev/null 2>"$tf.err"; then
        echo "failed: $*" >&2; cat "$tf.err" >&2; rm -f "$tf" "$tf.err"; exit 1
    fi
    tail -n 1 "$tf"
    rm -f "$tf" "$tf.err"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ratio() { echo "$1 / $2" | bc -l; }

echo "load: $(uptime | sed 's/.*load average: //')   runs: $runs   cli: $cli"
printf '%-6s %-12s %9s %10s\n' tree job seconds peak_MiB
for t in $trees; do
    make_tree "$t"
    src=$(readlink -f "$work/$t")  # the tree itself, were it reached through a link
    jobs=${JOBS:-"tessor floor genisoimage"}
    [ "$t" = big ] && [ -z "${JOBS:-}" ] && jobs="$jobs synced"
    declare -A times=() mem=()
    for _ in $(seq "$runs"); do
        for job in $jobs; do
            rm -f "$work/out.iso"
            case $job in
                tessor) r=$(run_timed "$cli" image -o "$work/out.iso" --label BENCH --cache $cache_mb "$src") ;;
                genisoimage) r=$(run_timed genisoimage -quiet -J -udf -o "$work/out.iso" "$src") ;;
                synced) r=$(run_timed sh -c "cat '$src'/* > '$work/out.iso' && sync '$work/out.iso'") ;;
                floor)
                    if [ "$t" = big ]; then
                        r=$(run_timed sh -c "cat '$src'/* > '$work/out.iso'")
                    else
                        r=$(run_timed sh -c "tar cf - -C '$src' . | cat > /dev/null")
                    fi ;;
            esac
            times[$job]+="${r% *} "
            m=${r#* }; [ "$m" -gt "${mem[$job]:-0}" ] && mem[$job]=$m
        done
    done
    declare -A sec=()
    for job in $jobs; do
        sec[$job]=$(printf '%s\n' ${times[$job]} | median)
        printf '%-6s %-12s %9.2f %10.1f\n' "$t" "$job" "${sec[$job]}" "$(ratio "${mem[$job]}" 1024)"
    done
    printf '%-6s ratio tessor/floor %.2f' "$t" "$(ratio "${sec[tessor]}" "${sec[floor]}")"
    [ -n "${sec[genisoimage]:-}" ] &&
        printf ', tessor/genisoimage %.2f' "$(ratio "${sec[tessor]}" "${sec[genisoimage]}")"
    [ -n "${sec[synced]:-}" ] &&
        printf ', tessor/synced %.2f' "$(ratio "${sec[tessor]}" "${sec[synced]}")"
    echo
    if [ "$t" = flat ]; then
        entries=$(find "$src" -mindepth 1 | wc -l)
        printf '%-6s memory beyond the %d MiB cache: %.2f KiB per entry (%d entries)\n' "$t" \
            $cache_mb "$(ratio "(${mem[tessor]} - $cache_mb * 1024)" "$entries")" "$entries"
    fi
    unset times mem sec
done
rm -f "$work/out.iso"
