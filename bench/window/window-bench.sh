#!/usr/bin/env bash
# The window's create-image workflow (add-file echo included, offscreen)
# against `tessor-cli image` over the same tree of 100,000 empty files in
# 100 folders, so that building the compilation is what is timed. Goal: the
# window reaches the start of the write in at most 1.5 x the CLI's whole
# run, and paints at least every 100 ms while it adds files.
set -euo pipefail
cd "$(dirname "$0")/../.."
bench=build/bin/tessor-window-bench
cli=build/bin/tessor-cli
[ -x "$bench" ] && [ -x "$cli" ] || { echo "build first (make build)"; exit 1; }
work=${BENCH_DIR:-/tmp/tessor-bench}
tree=$work/window-tree
mkdir -p "$work"
if [ ! -f "$tree.done" ]; then
    rm -rf "$tree"
    python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(100):
    folder = os.path.join(root, "folder%03d" % d)
    os.makedirs(folder)
    for f in range(1000):
        open(os.path.join(folder, "file%05d.txt" % f), "w").close()
PY
    touch "$tree.done"
fi
cat "$(find "$tree" -type f | head -1)" >/dev/null  # warm the cache for both

start=$(date +%s.%N)
"$cli" image -o "$work/window-cli.iso" "$tree" >/dev/null
end=$(date +%s.%N)
cli_s=$(echo "$end - $start" | bc)
echo "tessor-cli image: whole run ${cli_s} s"
line=$(QT_QPA_PLATFORM=offscreen "$bench" "$tree" "$work/window-gui.iso" 2>/dev/null | tail -1)
echo "$line"
win_s=$(echo "$line" | sed -n 's/.*start of write \([0-9.]*\) s.*/\1/p')
echo "ratio window start of write / cli whole run: $(echo "scale=2; $win_s / $cli_s" | bc)"
rm -f "$work/window-cli.iso" "$work/window-gui.iso"
