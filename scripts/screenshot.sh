#!/usr/bin/env bash
# Renders the main window offscreen into build/window-idle.png (a small
# compilation, nothing running, the offline banner) and
# build/window-writing.png (the same compilation a third of the way onto a
# slow virtual CD-R), and the about box into build/about-info.png and
# build/about-licence.png.
set -euo pipefail
cd "$(dirname "$0")/.."
shot=build/bin/tessor-screenshot
if [ ! -x "$shot" ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release --target tessor-screenshot
fi
QT_QPA_PLATFORM=offscreen "$shot" build resources README.md scripts
