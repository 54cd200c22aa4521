#!/usr/bin/env bash
# The Windows build under wine: cross-builds tessor-cli.exe, tessor-vdrive.exe
# and WNASPI32.DLL (preset "windows"), then runs them as a user would and
# judges what they wrote with the Linux readers (7z for Joliet and UDF,
# isovfy for ISO 9660, and the reader suite's readers and strict passes) and
# with the Linux build's own image of the same tree; then runs the engine's
# suites as .exe under wine.
# Usage: scripts/test-windows.sh (from the project root; `make test-windows`).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cmake --preset windows >/dev/null
cmake --build --preset windows -j "${JOBS:-$(nproc)}" --target tessor-cli tessor-vdrive wnaspi32 \
    windows_tests
if [ ! -x build/bin/tessor-cli ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j "${JOBS:-$(nproc)}" --target tessor-cli
fi
if [ ! -x build/bin/builder_reader_tests ]; then
    cmake --preset release >/dev/null
    cmake --build --preset release -j "${JOBS:-$(nproc)}" --target builder_reader_tests
fi

wine=/usr/lib/wine/wine64
bin=$root/build-windows/bin
work=$(mktemp -d /tmp/tessor-windows.XXXXXX)
trap 'wineserver_stop; rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# Wine's own wnaspi32 would shadow ours even by full path; no mono or gecko
# prompts in a fresh prefix.
export WINEDLLOVERRIDES="wnaspi32=n;mscoree=;mshtml="
export TESSOR_TIME_SCALE=0.01
wineserver_stop() { WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; }
# A Linux path as wine's drive Z: sees it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export TESSOR_VDRIVE_DIR=$(winpath "$work/vdrive")
run() { "$wine" "$@"; }

passed=0
failed=0
check() {  # check NAME COMMAND...: one result line per scenario
    local name=$1
    shift
    if "$@" >"$work/$name.log" 2>&1; then
        echo "ok   $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        sed 's/^/     /' "$work/$name.log" | tail -60
        failed=$((failed + 1))
    fi
}

# A tree with Unicode names in three scripts, a binary file, LF-only text,
# a nested folder and a long name with spaces. The image's root holds src.
src=$work/tree/src
mkdir -p "$src/日本語 フォルダ" "$src/a long folder name with spaces/deeper"
printf 'one\ntwo\n' >"$src/Ünïcode файл.txt"
head -c 300000 /dev/urandom >"$src/日本語 フォルダ/データ.bin"
head -c 5000 /dev/urandom >"$src/a long folder name with spaces/deeper/Camera Picture.jpeg"
printf 'x' >"$src/short.txt"
find "$src" -type f -exec touch -d '2023-11-14 22:13:20' {} +

same_as_source() {  # same_as_source IMAGE [-tudf]: extracts and compares
    local out=$work/x.$RANDOM
    7z x ${2:-} -o"$out" "$1" >/dev/null && diff -r "$out/src" "$src" && rm -rf "$out"
}

image() {
    run "$bin/tessor-cli.exe" image -o "$(winpath "$work/w.iso")" "$(winpath "$src")" &&
        isovfy "$work/w.iso" | grep -q 'No errors found' &&
        same_as_source "$work/w.iso" && same_as_source "$work/w.iso" -tudf
}
check image-unicode-tree image

# The same image through the readers and strict passes the Linux images
# face (the reader suite's ForeignImage tests).
reader_suite() {
    TESSOR_FOREIGN_IMAGE=$work/w.iso TESSOR_FOREIGN_TREE=$work/tree \
        build/bin/builder_reader_tests --gtest_filter='*Foreign*' --gtest_brief=1 &&
        ! grep -q SKIPPED "$work/image-reader-suite.log"
}
check image-reader-suite reader_suite

# The programs carry the version the Linux build carries (a version
# resource on Windows, where a PE file has no ELF note).
same_version() {
    local want got
    want=$(build/bin/tessor-cli --version)
    got=$(run "$bin/tessor-cli.exe" --version | tr -d '\r')
    echo "Linux: $want; Windows: $got"
    [ "$got" = "$want" ] && [ "$want" != "tessor-cli No version specification" ]
}
check version-resource same_version

# The export reads what the recorder's saved state says was written: an
# unsaved state (a rename that did not replace it) exports nothing.
burn() {  # burn DRIVE MEDIA
    run "$bin/tessor-vdrive.exe" insert "$1" "$2" &&
        run "$bin/tessor-cli.exe" burn --device "$1" "$(winpath "$src")" &&
        run "$bin/tessor-vdrive.exe" export "$1" "$(winpath "$work/disc$1.iso")" &&
        same_as_source "$work/disc$1.iso" -tudf && same_as_source "$work/disc$1.iso"
}
check burn-dvd-r burn 1 dvd-r
check burn-bd-re burn 0 bd-re

# Two burns on one drive: the first is held in the middle by BUSY answers,
# the second must be refused while the first holds the drive.
two_burns() {
    run "$bin/tessor-vdrive.exe" eject 1 && run "$bin/tessor-vdrive.exe" insert 1 dvd-r &&
        run "$bin/tessor-vdrive.exe" fault 1 after-lba 32 busy 500000 || return 1
    run "$bin/tessor-cli.exe" burn --device 1 "$(winpath "$src")" >"$work/first.log" 2>&1 &
    local first=$!
    sleep 4
    local second=0
    run "$bin/tessor-cli.exe" burn --device 1 "$(winpath "$src")" >"$work/second.log" 2>&1 ||
        second=$?
    wait $first
    local firstStatus=$?
    cat "$work/second.log"
    [ "$second" -ne 0 ] && grep -qi 'in use' "$work/second.log" && [ "$firstStatus" -eq 0 ]
}
check two-burns-one-drive two_burns

# The same tree at the same fixed time from both builds: the images match
# byte for byte except where the 8.3 names differ (wine invents hashed
# aliases such as _N_C~NQV.TXT where the Linux build makes NCODE~1.TXT, and
# they order the ISO 9660 folder differently) and where Windows reports a
# real creation time (UDF file entries).
fixed_time() {
    export SOURCE_DATE_EPOCH=1700000000
    (cd "$work/tree" && "$root/build/bin/tessor-cli" image -o "$work/l.iso" src >/dev/null) &&
        run "$bin/tessor-cli.exe" image -o "$(winpath "$work/f.iso")" "$(winpath "$src")" \
            >/dev/null || return 1
    unset SOURCE_DATE_EPOCH
    local differ
    differ=$( (cmp -l "$work/l.iso" "$work/f.iso" || true) | wc -l)
    echo "Linux and Windows images: $(stat -c %s "$work/l.iso") and" \
        "$(stat -c %s "$work/f.iso") bytes, $differ bytes differ"
    [ "$(stat -c %s "$work/l.iso")" = "$(stat -c %s "$work/f.iso")" ] && [ "$differ" -lt 2048 ]
}
check fixed-time-same-image fixed_time
grep -h 'bytes differ' "$work/fixed-time-same-image.log" || true

# The engine's suites, as .exe under wine, in the environment the Linux run
# has. A wine server started now outlives them: one started by a test
# would hold that test's output open until the last test ends.
/usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 || true  # one may still run
check windows-suites env -u TESSOR_TIME_SCALE -u TESSOR_VDRIVE_DIR \
    ctest --test-dir build-windows --output-on-failure -j 2

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
