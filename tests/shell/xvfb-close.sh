#!/usr/bin/env bash
# The real program under Xvfb must end however its window goes: destroyed by
# another program while idle (no window manager to ask it first), closed
# through a window manager in the middle of a write, and destroyed in the
# middle of a write. A write cut short this way is cancelled and its session
# closed, so the virtual disc still carries a volume that readers open.
# Exits 77 (skipped) without the X tools.
set -euo pipefail
prog=$1
bin=$(dirname "$prog")
for tool in xvfb-run xdotool wmctrl openbox isoinfo; do
    if ! command -v "$tool" >/dev/null; then
        echo "skipped: $tool is not installed (xvfb, xdotool, wmctrl, openbox, genisoimage)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TESSOR_VDRIVE_DIR=$work/vdrive QT_QPA_PLATFORM=xcb TESSOR_TIME_SCALE=0.2
# 1 GiB of holes: cheap to read, about 20 s on the virtual BD writer at this
# time scale, so a close 5 s after "burn" meets the write in its middle.
truncate -s 1G "$work/big.bin"

# run CASE: starts the window, maybe burns, ends it the CASE's way; fails
# when the process is still there 60 s later.
run() {
    local how=$1 burn=$2
    xvfb-run -a -s "-screen 0 1024x800x24" bash -c '
        how=$1 burn=$2 prog=$3 big=$4
        if [ "$how" = wm ]; then openbox >/dev/null 2>&1 & sleep 1; fi
        "$prog" "$big" & pid=$!
        w=
        for i in $(seq 1 100); do
            w=$(xdotool search --name DO-Rodedir 2>/dev/null | head -1) && [ -n "$w" ] && break
            sleep 0.1
        done
        [ -n "$w" ] || { echo "no window"; kill $pid; exit 1; }
        sleep 1
        if [ "$burn" = 1 ]; then
            # "burn" sits at the top left of the tab page.
            xdotool mousemove --window "$w" 50 109 click 1
            sleep 5
        fi
        case $how in
            wm) wmctrl -c DO-Rodedir ;;
            destroy) xdotool windowclose "$w" ;;
        esac
        for i in $(seq 1 600); do kill -0 $pid 2>/dev/null || exit 0; sleep 0.1; done
        echo "the process still runs 60 s after its window went"
        kill -9 $pid
        exit 1
    ' _ "$how" "$burn" "$prog" "$work/big.bin"
}

check_disc() {
    rm -f "$work/disc.iso"
    "$bin/tessor-vdrive" export 0 "$work/disc.iso"
    isoinfo -d -i "$work/disc.iso" | grep -q "Volume id: CD"
    echo "$1: the process ended and the disc carries a readable volume"
}

run destroy 0
echo "idle window destroyed: the process ended"
"$bin/tessor-vdrive" insert 0 bd-re >/dev/null
run wm 1
check_disc "closed through the window manager while writing"
"$bin/tessor-vdrive" insert 0 bd-re >/dev/null
run destroy 1
check_disc "destroyed while writing"
