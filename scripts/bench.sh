#!/usr/bin/env bash
# Runs every benchmark: the programs build/bin/tessor-bench-* and the
# scripts bench/*/*-bench.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/bin/tessor-bench-*; do
    [ -x "$b" ] || continue
    echo "== $b"
    "$b"
done
for s in bench/*/*-bench.sh; do
    [ -x "$s" ] || continue
    echo "== $s"
    "$s"
done
