#!/usr/bin/env bash
# Runs every benchmark in build/bin (programs named tessor-bench-*).
set -euo pipefail
cd "$(dirname "$0")/.."
found=0
for b in build/bin/tessor-bench-*; do
    [ -x "$b" ] || continue
    found=1
    echo "== $b"
    "$b"
done
[ $found = 1 ] || echo "no benchmarks built"
