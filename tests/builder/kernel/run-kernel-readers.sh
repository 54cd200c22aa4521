#!/bin/bash
# run-kernel-readers.sh CLI WORKDIR KERNEL_CACHE
# The kernel's own readers over an image whose identical files are written
# once: 10,000 copies of one file, a file equal to another in all but its
# last byte, hard links and empty files, made with `tessor-cli image
# --dedupe`, mounted in a qemu guest through isofs (Joliet) and udf; every
# file's md5 must equal its source's. Exit 0 passed, 77 skipped (no qemu,
# busybox or kernel package), 1 failed.
set -uo pipefail
cli=$(realpath -m "$1")
work=$2
cache=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
limit=${TESSOR_GUEST_TIMEOUT:-300}

skip() { echo "SKIP: $*"; exit 77; }
for tool in qemu-system-x86_64 cpio gzip dpkg-deb python3 timeout flock md5sum; do
    command -v "$tool" > /dev/null || skip "$tool is not installed"
done
busybox=$(command -v busybox) || skip "busybox is not installed"
file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || [ -x /bin/busybox ] ||
    skip "no static busybox"
mkdir -p "$work"
cd "$work" || exit 1
. "$here/../../guest/guest-lib.sh"
guest_kernel "$cache" || exit 1

rm -rf src root && mkdir -p src
python3 - src << 'PY'
import os, sys
root = sys.argv[1]
one = bytes((i * 7 + 3) % 251 for i in range(3000))
for d in range(100):
    os.makedirs(f"{root}/copies/d{d}")
    for f in range(100):
        open(f"{root}/copies/d{d}/f{f}.txt", "wb").write(one)
big = bytes((i * 13) % 256 for i in range(1536 * 1024))
os.makedirs(f"{root}/near")
open(f"{root}/near/a.bin", "wb").write(big)
open(f"{root}/near/b.bin", "wb").write(big[:-1] + bytes([(big[-1] + 1) % 256]))
open(f"{root}/near/c.bin", "wb").write(big)
os.link(f"{root}/near/a.bin", f"{root}/near/link.bin")
os.makedirs(f"{root}/empty")
open(f"{root}/empty/one", "wb").close()
open(f"{root}/empty/two", "wb").close()
PY
"$cli" image -o shared.iso --label SHARED --dedupe src > cli.log 2>&1 || { cat cli.log; exit 1; }
cat cli.log
find ./src -type f -exec md5sum {} + | LC_ALL=C sort -k 2 > expected.md5

mkdir -p root/bin
cp "$busybox" root/bin/busybox
cp "$here/init" root/init && chmod 755 root/init
guest_modules root sr_mod virtio_pci virtio_scsi isofs udf || exit 1
guest_pack root initramfs.gz || exit 1

guest_boot_cd "$limit" initramfs.gz shared.iso serial.log
qrc=$?
[ $qrc -eq 124 ] && { echo "FAIL: the guest did not finish within $limit s"; exit 1; }
rc=0
for fs in iso9660 udf; do
    tr -d '\r' < serial.log | sed -n "/BEGIN $fs\$/,/^END $fs\$/p" | sed '1d;$d' |
        LC_ALL=C sort -k 2 > "got-$fs.md5"
    if diff expected.md5 "got-$fs.md5" > "diff-$fs.txt"; then
        echo "PASS: $fs gives back all $(wc -l < expected.md5) files"
    else
        echo "FAIL: $fs differs from the sources:"; head -20 "diff-$fs.txt"; rc=1
    fi
done
exit $rc
