#!/usr/bin/env bash
# The cost of --dedupe: the small tree of image-bench.sh (100,000 files of
# 0-8 KiB) with a copy of almost every file added (197,998 files, as many as
# the compilation's entry limit allows), written as an image with and without --dedupe in
# the same run. Prints wall seconds (median of RUNS runs), the image sizes,
# and the ratio with/without; the goal is at most 1.3.
set -euo pipefail
cd "$(dirname "$0")/../.."
cli=build/bin/tessor-cli
[ -x "$cli" ] || { echo "build first (make build)"; exit 1; }
work=${BENCH_DIR:-/tmp/tessor-bench}
runs=${RUNS:-3}
mkdir -p "$work"
source bench/image/trees.sh
make_tree small
twice=$work/small-twice
# A compilation holds at most 200,000 entries, its 2,001 folders included:
# every file gets a copy beside it ("NAME.copy") except the last 2,002.
if [ ! -f "$twice.done" ]; then
    rm -rf "$twice"; cp -r "$work/small" "$twice"
    python3 - "$twice" <<'PY'
import os, shutil, sys
root = sys.argv[1]
files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
for path in files[:len(files) - 2002]:
    shutil.copyfile(path, path + ".copy")
PY
    touch "$twice.done"
fi

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# seconds CMD...: "wall cpu" of one run (cpu = user + system)
seconds() {
    local tf; tf=$(mktemp)
    /usr/bin/time -o "$tf" -f '%e %U %S' "$@" > /dev/null 2>&1 || { rm -f "$tf"; echo "failed: $*" >&2; exit 1; }
    tail -n 1 "$tf" | awk '{ print $1, $2 + $3 }'; rm -f "$tf"
}

# The two jobs take turns, so that a change of the machine's load falls on
# both alike.
walls_plain=(); walls_dedupe=(); cpus_plain=(); cpus_dedupe=()
for _ in $(seq "$runs"); do
    for job in plain dedupe; do
        rm -f "$work/out.iso"
        flag=; [ $job = dedupe ] && flag=--dedupe
        r=$(seconds "$cli" image -o "$work/out.iso" --label BENCH $flag "$twice")
        eval "walls_$job+=(${r% *}); cpus_$job+=(${r#* })"
        eval "mb_$job=$(echo "$(stat -c %s "$work/out.iso")/1000000" | bc -l)"
    done
done
printf '%-8s %9s %9s %10s\n' job wall_s cpu_s image_MB
for job in plain dedupe; do
    eval "wall_$job=$(eval printf '%s\\n' "\${walls_$job[@]}" | median)"
    eval "cpu_$job=$(eval printf '%s\\n' "\${cpus_$job[@]}" | median)"
    printf '%-8s %9.2f %9.2f %10.1f\n' $job "$(eval echo \$wall_$job)" "$(eval echo \$cpu_$job)" \
        "$(eval echo \$mb_$job)"
done
printf 'ratio dedupe/plain: wall %.2f, cpu %.2f (goal <= 1.30)\n' \
    "$(echo "$wall_dedupe/$wall_plain" | bc -l)" "$(echo "$cpu_dedupe/$cpu_plain" | bc -l)"
rm -f "$work/out.iso"
