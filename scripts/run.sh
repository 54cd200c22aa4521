#!/usr/bin/env bash
# What `make run` does: burn a sample compilation (the repository's
# resources/ and README.md) onto a blank DVD+RW in the virtual recorder,
# export the disc and show what isoinfo reads from it. With a real drive
# present, `build/bin/tessor-cli devices` lists it and --device chooses it.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build/bin
export TESSOR_VDRIVE_DIR=${TESSOR_VDRIVE_DIR:-$PWD/build/vdrive}
run() { echo "+ $*"; "$@"; }

run "$bin/tessor-vdrive" insert 1 dvd+rw
run "$bin/tessor-cli" devices --use-aspi
run "$bin/tessor-cli" burn --use-aspi --device 1 --label TESSOR_SAMPLE resources README.md
run "$bin/tessor-vdrive" export 1 build/sample-disc.iso
run isoinfo -d -i build/sample-disc.iso
run isoinfo -J -l -i build/sample-disc.iso
