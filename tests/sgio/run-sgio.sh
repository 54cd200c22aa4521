#!/bin/bash
# run-sgio.sh PROBE WORKDIR KERNEL_CACHE
# Boots a Debian cloud kernel under qemu (TCG) with a virtio-scsi CD drive
# holding a small test disc and runs PROBE (a static binary) as the guest's
# only program. Exit 0 when the probe passed, 77 when qemu, the tools or the
# kernel package are not available (the test is skipped), 1 otherwise (also
# on a time-out).
#   TESSOR_GUEST_KERNEL_DEB=FILE use this kernel package instead of fetching one
#   TESSOR_SGIO_TIMEOUT=S        qemu time limit (default 90 s)
set -uo pipefail
probe=$(realpath -m "$1")
work=$2
cache=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)
limit=${TESSOR_SGIO_TIMEOUT:-90}

skip() { echo "SKIP: $*"; exit 77; }
for tool in qemu-system-x86_64 cpio gzip dpkg-deb python3 timeout flock; do
    command -v "$tool" > /dev/null || skip "$tool is not installed"
done
busybox=$(command -v busybox) || skip "busybox is not installed"
file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || [ -x /bin/busybox ] ||
    skip "no static busybox"
[ -x "$probe" ] || { echo "probe $probe missing"; exit 1; }
mkdir -p "$work"
cd "$work" || exit 1

. "$here/../guest/guest-lib.sh"
guest_kernel "$cache" || exit 1

rm -rf root && mkdir -p root/bin
cp "$busybox" root/bin/busybox
cp "$here/init" root/init && chmod 755 root/init
cp "$probe" root/sgio_probe
# Modules of the virtio SCSI CD path, dependencies first.
guest_modules root sr_mod sg virtio_pci virtio_scsi || exit 1
guest_pack root initramfs.gz || exit 1

# The test disc: an ISO 9660 primary volume descriptor of 512 sectors at
# sector 16, and sectors 64-95 each filled with its own number.
python3 - disc.iso << 'PY'
import sys
data = bytearray(512 * 2048)
pvd = 16 * 2048
data[pvd:pvd + 7] = b"\x01CD001\x01"
data[pvd + 80:pvd + 84] = (512).to_bytes(4, "little")
data[pvd + 84:pvd + 88] = (512).to_bytes(4, "big")
end = 17 * 2048
data[end:end + 7] = b"\xffCD001\x01"
for lba in range(64, 96):
    data[lba * 2048:(lba + 1) * 2048] = bytes([lba]) * 2048
open(sys.argv[1], "wb").write(data)
PY

guest_boot_cd "$limit" initramfs.gz disc.iso serial.log
qrc=$?
grep -E '^(PASS|FAIL|drive:|write:|SGIO-END)' serial.log
if [ $qrc -eq 124 ]; then
    echo "FAIL: the guest did not finish within $limit s"
    exit 1
fi
# Both passes (root, then a read-only user) must end with a passing marker.
[ "$(grep -c 'SGIO-END rc=0' serial.log)" = 2 ] || { echo "FAIL: no passing end marker"; exit 1; }
exit 0
