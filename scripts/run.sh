#!/usr/bin/env bash
# What `make run` does: until a front end exists, say what would run.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Tessor is built in build/bin:"
ls build/bin
echo "No front end yet: 'make run' will start tessor-cli here once it exists."
