#!/usr/bin/env bash
# Images of the same trees from two builds of tessor-cli must be the same
# bytes: a change meant to make image building faster or leaner may not
# change a single byte on the disc. The engine's clock is fixed
# (SOURCE_DATE_EPOCH), so two runs of one build give one image.
#   bench/image/identical.sh [OLD_CLI [NEW_CLI]]
# OLD_CLI defaults to /work/baseline/tessor-cli-60d3f6f, NEW_CLI to
# build/bin/tessor-cli. Trees: those of image-bench.sh (TREES, default
# "small flat big") and "odd": a sparse file over 4 GiB, hard links,
# symbolic links (to a file, to a folder, dangling), empty files and folders.
# Each tree is written with the default switches, small and odd with
# --dedupe too. Exit
# status 1 when any pair differs.
set -euo pipefail
cd "$(dirname "$0")/../.."
old=${1:-/work/baseline/tessor-cli-60d3f6f}
new=${2:-build/bin/tessor-cli}
for c in "$old" "$new"; do [ -x "$c" ] || { echo "no such program: $c"; exit 1; }; done
work=${BENCH_DIR:-/tmp/tessor-bench}
trees=${TREES:-"small flat big"}
mkdir -p "$work"
source bench/image/trees.sh
export SOURCE_DATE_EPOCH=1700000000

make_odd() {
    local dir=$work/odd
    [ -f "$dir.done" ] && return
    rm -rf "$dir"; mkdir -p "$dir/sub/deeper" "$dir/empty-folder"
    truncate -s $((4 * 1024 * 1024 * 1024 + 12345)) "$dir/sparse-over-4GiB.bin"
    printf 'tail' | dd of="$dir/sparse-over-4GiB.bin" bs=1 seek=$((4 * 1024 * 1024 * 1024)) \
        conv=notrunc status=none
    head -c 100000 /dev/urandom > "$dir/sub/data.bin"
    ln "$dir/sub/data.bin" "$dir/hard-link.bin"
    ln "$dir/sub/data.bin" "$dir/sub/deeper/hard-link-2.bin"
    ln -s sub/data.bin "$dir/link-to-file"
    ln -s sub "$dir/link-to-folder"
    ln -s nowhere "$dir/dangling-link"
    : > "$dir/empty.txt"
    : > "$dir/sub/empty-too.txt"
    printf 'x' > "$dir/one-byte"
    head -c 2048 /dev/urandom > "$dir/one-sector"
    cp "$dir/one-sector" "$dir/sub/same-as-one-sector"
    touch -d '2001-02-03 04:05:06' "$dir"/* "$dir"/sub/*
    touch "$dir.done"
}

status=0
for t in $trees odd; do
    if [ "$t" = odd ]; then make_odd; else make_tree "$t"; fi
    src=$(readlink -f "$work/$t")
    dedupe=--dedupe; [ "$t" = small ] || [ "$t" = odd ] || dedupe=
    for flags in "" $dedupe; do
        for side in old new; do
            cli=$old; [ $side = new ] && cli=$new
            rm -f "$work/identical-$side.iso"
            # A tree with a dangling link has a source left out: that exit
            # status is expected; the image must still be written alike.
            "$cli" image -o "$work/identical-$side.iso" --label IDENTICAL --allow-partial \
                $flags "$src" > /dev/null 2>&1 || true
        done
        if [ ! -s "$work/identical-old.iso" ] || [ ! -s "$work/identical-new.iso" ]; then
            echo "$t ${flags:-(default)}: an image was not written"; status=1
        elif cmp -s "$work/identical-old.iso" "$work/identical-new.iso"; then
            echo "$t ${flags:-(default)}: identical ($(stat -c %s "$work/identical-new.iso") bytes)"
        else
            echo "$t ${flags:-(default)}: DIFFERENT: $(cmp "$work/identical-old.iso" \
                "$work/identical-new.iso" | head -n 1)"; status=1
        fi
    done
done
rm -f "$work/identical-old.iso" "$work/identical-new.iso"
exit $status
