#!/bin/bash
# run-tcmu.sh GROUP WORKDIR KERNEL_CACHE BIN_DIR
# Boots the Debian cloud kernel under qemu (TCG) with the kernel's SCSI target
# (target_core_user, tcm_loop): tessor-vdrive-tcmu makes the virtual recorders
# /dev/sr0 and /dev/sr1 of the guest, and the scenario group GROUP (tessor or
# burners, see guest-GROUP.sh) burns onto them through the kernel's sr driver.
# GROUP shell gives a shell in the guest on this terminal instead (README.md).
# The guest's results come back on a raw disk; the discs it exported are then
# read on the host by the reader suite (tcmu_disc_check). Exit 0 when every
# step passed, 77 when qemu, a tool or the kernel package is missing (skipped),
# 1 otherwise (also on a time-out).
#   TESSOR_GUEST_KERNEL_DEB=FILE  use this kernel package instead of fetching one
#   TESSOR_TCMU_TIMEOUT=S         qemu time limit (default 150 s; burners 300 s)
set -uo pipefail
group=$1
work=$(realpath -m "$2")
cache=$(realpath -m "$3")
bin=$(realpath -m "$4")
here=$(cd "$(dirname "$0")" && pwd)
limit=${TESSOR_TCMU_TIMEOUT:-$([ "$group" = burners ] && echo 300 || echo 150)}

skip() {
    echo "SKIP: $*"
    exit 77
}
for tool in qemu-system-x86_64 cpio gzip dpkg-deb python3 timeout flock ldd tar; do
    command -v "$tool" > /dev/null || skip "$tool is not installed"
done
busybox=$(command -v busybox) || skip "busybox is not installed"
file -L "$busybox" 2> /dev/null | grep -q 'statically linked' || [ -x /bin/busybox ] ||
    skip "no static busybox"
case "$group" in
    tessor) programs="" drives=0,1 ;;
    burners) programs="growisofs wodim xorriso genisoimage" drives=0 ;;
    shell) programs="growisofs wodim xorriso genisoimage" drives=0,1 ;;
    *)
        echo "unknown scenario group $group"
        exit 1
        ;;
esac
for p in $programs; do
    command -v "$p" > /dev/null || skip "$p is not installed"
done
for b in tessor-vdrive-tcmu tessor-vdrive tessor-cli tcmu_disc_check tcmu_tray; do
    [ -x "$bin/$b" ] || {
        echo "$bin/$b missing"
        exit 1
    }
done
. "$here/../guest/guest-lib.sh"
guest_kernel "$cache" || exit 1

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
root=$work/root
mkdir -p "$root/bin" "$root/etc" "$root/src"
cp "$busybox" "$root/bin/busybox"
cp "$here/init" "$root/init" && chmod 755 "$root/init"
cp "$here/guest-$group.sh" "$root/scenario"
ln -s /proc/mounts "$root/etc/mtab"
echo "$drives" > "$root/drives"
"$bin/tessor-vdrive" --dir "$work/conf" list > /dev/null && cp "$work/conf/drives.conf" "$root/drives.conf" ||
    exit 1
guest_program "$root" "$bin/tessor-vdrive-tcmu" /usr/bin/tessor-vdrive-tcmu &&
    guest_program "$root" "$bin/tessor-vdrive" /usr/bin/tessor-vdrive &&
    guest_program "$root" "$bin/tessor-cli" /usr/bin/tessor-cli &&
    guest_program "$root" "$bin/tcmu_tray" /usr/bin/tray || exit 1
for p in $programs; do
    guest_program "$root" "$(command -v "$p")" "/usr/bin/$p" || exit 1
done
# xorriso converts Joliet names (UTF-16) through iconv, whose converters
# are modules that no program links.
if [ -n "$programs" ]; then
    gconv=$(dirname "$(find /usr/lib /lib -path '*/gconv/UTF-16.so' 2> /dev/null | head -n 1)")
    mkdir -p "$root$gconv" && cp "$gconv/gconv-modules" "$gconv/UTF-16.so" "$root$gconv/" || exit 1
fi
guest_modules "$root" sr_mod sg isofs udf nls_utf8 virtio_pci virtio_blk \
    target_core_user tcm_loop || exit 1

# The sources: a tree with nested folders, an empty file, a name outside
# ASCII and one with blanks (a), a second one for an appended session (b, and
# ab for the disc that then shows both),
# and an image made by tessor-cli on the host (c, in gamma.iso).
python3 - "$root/src" << 'PY' || exit 1
import os, sys
root = sys.argv[1]
def pattern(size, seed):
    out = bytearray(size)
    x = seed
    for i in range(size):
        x = (x * 1103515245 + 12345) & 0x7FFFFFFF
        out[i] = x >> 16 & 0xFF
    return bytes(out)
files = {
    "a/alpha/readme.txt": b"Burnt through the Linux sr driver.\n" * 20,
    "a/alpha/data.bin": pattern(700000, 1),
    "a/alpha/empty.txt": b"",
    "a/alpha/sub dir/deep/caf\u00e9 notes.txt".encode(): b"nested\n",
    "a/alpha/A long file name with blanks in it.txt": pattern(5000, 2),
    "b/beta/second.txt": b"The second session.\n",
    "b/beta/more.bin": pattern(150000, 3),
    "c/gamma/image.txt": b"Written with burn-image.\n",
    "c/gamma/block.bin": pattern(300000, 4),
}
# ab: what a disc holds once b is appended to a (the earlier session is
# carried forward); abc once c follows.
for name, data in list(files.items()):
    text = name if isinstance(name, bytes) else name.encode()
    if text.startswith((b"a/", b"b/")):
        files[b"ab/" + text[2:]] = data
    files[b"abc/" + text[2:]] = data
for name, data in files.items():
    path = os.path.join(root.encode(), name if isinstance(name, bytes) else name.encode())
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
PY
"$bin/tessor-cli" image -o "$root/src/gamma.iso" --label GAMMA "$root/src/c/gamma" > image.log 2>&1 || {
    cat image.log
    exit 1
}
# The first session of the CD-R that wodim writes (-multi), with Rock Ridge
# and Joliet names as a user would make it.
if [ "$group" != tessor ]; then
    genisoimage -quiet -R -J -input-charset utf-8 -graft-points -o "$root/src/alpha.iso" \
        "/alpha=$root/src/a/alpha" || exit 1
fi
guest_pack "$root" initramfs.gz || exit 1
rm -f results.img && truncate -s 256M results.img

qemu=(qemu-system-x86_64 -machine pc -accel tcg -cpu max -m 1024 -smp 1
    -nographic -no-reboot -nic none -kernel "$VMLINUZ" -initrd initramfs.gz
    -append "console=ttyS0 quiet panic=-1"
    -drive file=results.img,format=raw,if=virtio)
if [ "$group" = shell ]; then
    "${qemu[@]}"
    exit 0
fi
start=$(date +%s%N)
timeout "$limit" "${qemu[@]}" < /dev/null > serial.log 2>&1
qrc=$?
tenths=$((($(date +%s%N) - start) / 100000000))
echo "qemu exit $qrc after $((tenths / 10)).$((tenths % 10)) s; serial log: $work/serial.log"
grep -E '^(PASS|FAIL|TCMU-END|    )' serial.log
if [ $qrc -eq 124 ]; then
    echo "FAIL: the guest did not finish within $limit s"
    exit 1
fi
grep -q 'TCMU-END rc=0' serial.log || {
    echo "FAIL: no passing end marker"
    exit 1
}
mkdir -p results && tar -xf results.img -C results || {
    echo "FAIL: no results from the guest"
    exit 1
}
if [ -f results/manifest ]; then
    "$bin/tcmu_disc_check" results "$root/src" || exit 1
fi
exit 0
