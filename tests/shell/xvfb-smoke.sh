#!/usr/bin/env bash
# The real program under Xvfb with the xcb platform: its window must appear
# with its caption and fixed size. Exits 77 (skipped) without Xvfb.
set -euo pipefail
prog=$1
for tool in xvfb-run xwininfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (xvfb, x11-utils)"
        exit 77
    fi
done
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
export TESSOR_VDRIVE_DIR=$state QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1024x800x24" sh -c '
    "$0" & pid=$!
    found=0
    for i in $(seq 1 100); do
        if xwininfo -name DO-Rodedir >/dev/null 2>&1; then found=1; break; fi
        sleep 0.1
    done
    info=$(xwininfo -name DO-Rodedir 2>&1 || true)
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
    echo "$info" | grep -E "Width|Height|Map State" || true
    [ $found = 1 ] && echo "$info" | grep -q "Width: 623" && echo "$info" | grep -q "Height: 722"
' "$prog"
echo "the window appeared under Xvfb"
