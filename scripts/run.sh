#!/usr/bin/env bash
# What `make run` does: write the repository's resources/ folder into a
# sample ISO image with tessor-cli and show what isoinfo reads from it.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/sample.iso
echo "+ build/bin/tessor-cli image -o $out --label TESSOR_SAMPLE resources"
build/bin/tessor-cli image -o "$out" --label TESSOR_SAMPLE resources
echo "+ isoinfo -d -i $out"
isoinfo -d -i "$out"
echo "+ isoinfo -J -l -i $out"
isoinfo -J -l -i "$out"
