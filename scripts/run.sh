#!/usr/bin/env bash
# What `make run` does. With a display, it starts the window; where no
# optical drive opens, the virtual recorder serves as the drives, and its
# first writer (the drive the window chooses at start) gets a blank
# rewritable disc when its tray is empty, so "burn" works at once. Without a
# display it burns a sample compilation from the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
export TESSOR_VDRIVE_DIR=${TESSOR_VDRIVE_DIR:-$PWD/build/vdrive}
run() { echo "+ $*"; "$@"; }

real_drive() {
    for d in /dev/sr*; do [ -r "$d" ] && return 0; done
    return 1
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if ! real_drive && "$bin/tessor-vdrive" list 2>/dev/null | grep -q "^0: .* no disc$"; then
        run "$bin/tessor-vdrive" insert 0 bd-re
    fi
    run "$bin/tessor"
    exit
fi

echo "No display (DISPLAY/WAYLAND_DISPLAY unset): the command-line demonstration follows."
echo "On a desktop, 'make run' (or build/bin/tessor) starts the window."
run "$bin/tessor-vdrive" insert 1 dvd+rw
run "$bin/tessor-cli" devices --use-aspi
run "$bin/tessor-cli" burn --use-aspi --device 1 --label TESSOR_SAMPLE resources README.md
run "$bin/tessor-vdrive" export 1 build/sample-disc.iso
run isoinfo -d -i build/sample-disc.iso
run isoinfo -J -l -i build/sample-disc.iso
