#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass their validators, and
# name each other and the installed icon consistently. Skipped (77) when the
# validators are not installed.
# Usage: check-desktop.sh DESKTOP_DIR
set -uo pipefail
dir=$1
for tool in desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "check-desktop: $tool is not installed; skipped"
        exit 77
    fi
done
status=0
desktop-file-validate "$dir/org.tessor.tessor.desktop" || status=1
appstreamcli validate --no-net --pedantic "$dir/org.tessor.tessor.metainfo.xml" || status=1
grep -q '<launchable type="desktop-id">org.tessor.tessor.desktop</launchable>' \
    "$dir/org.tessor.tessor.metainfo.xml" || { echo "metainfo names another desktop entry"; status=1; }
grep -qx 'Exec=tessor %F' "$dir/org.tessor.tessor.desktop" || { echo "Exec is not tessor %F"; status=1; }
grep -qx 'Icon=tessor' "$dir/org.tessor.tessor.desktop" || { echo "Icon is not tessor"; status=1; }
exit $status
