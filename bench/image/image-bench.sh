#!/usr/bin/env bash
# Image creation against genisoimage and a plain cat of the same data, in the
# same run, on three trees:
#   big   4 files of 512 MiB (incompressible)
#   small 100,000 files of 0-8 KiB in 2,000 folders
#   flat  50,000 files of 1 KiB in one folder (camera-style names)
# Prints wall seconds, peak RSS and the ratios tessor/genisoimage and
# tessor/cat (median of RUNS runs). Trees are made once under BENCH_DIR.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=build/bin/tessor-cli
[ -x "$cli" ] || { echo "build first (make build)"; exit 1; }
command -v genisoimage >/dev/null || { echo "genisoimage missing"; exit 1; }
work=${BENCH_DIR:-/tmp/tessor-bench}
runs=${RUNS:-3}
trees=${TREES:-"big small flat"}
mkdir -p "$work"

# make_tree NAME: the tree NAME under $work, made once.
source bench/image/trees.sh

# run_timed CMD...: prints "seconds maxrss_kib" of one run
run_timed() {
    local tf
    tf=$(mktemp)
    /usr/bin/time -o "$tf" -f '%e %M' "$@" > /dev/null 2>&1 || true
    tail -n 1 "$tf"
    rm -f "$tf"
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

printf '%-6s %-12s %9s %10s\n' tree job seconds peak_MiB
for t in $trees; do
    make_tree "$t"
    src=$work/$t
    for job in tessor genisoimage cat; do
        times=(); mem=0
        for _ in $(seq "$runs"); do
            rm -f "$work/out.iso"
            case $job in
                tessor) r=$(run_timed "$cli" image -o "$work/out.iso" --label BENCH "$src") ;;
                genisoimage) r=$(run_timed genisoimage -quiet -J -udf -o "$work/out.iso" "$src") ;;
                cat) r=$(run_timed sh -c "find '$src' -type f -print0 | xargs -0 cat > '$work/out.iso'") ;;
            esac
            times+=("${r% *}")
            m=${r#* }; [ "$m" -gt "$mem" ] && mem=$m
        done
        sec=$(printf '%s\n' "${times[@]}" | median)
        eval "sec_$job=$sec"
        printf '%-6s %-12s %9.2f %10.1f\n' "$t" "$job" "$sec" "$(echo "$mem/1024" | bc -l)"
    done
    printf '%-6s ratio tessor/genisoimage %.2f, tessor/cat %.2f\n' "$t" \
        "$(echo "$sec_tessor/$sec_genisoimage" | bc -l)" "$(echo "$sec_tessor/$sec_cat" | bc -l)"
done
rm -f "$work/out.iso"
