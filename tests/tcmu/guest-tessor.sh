# Scenario group "tessor", sourced by /init: tessor-cli burns over SG_IO on
# /dev/sr0 (drive 0, the BD writer) and /dev/sr1 (drive 1, the DVD writer),
# through the kernel's sr driver; the kernel's iso9660 and udf file systems
# then read what it wrote, and the discs go to the host for the reader suite.

# burn DRIVE LABEL SOURCE_FOLDER [OPTION...]: tessor-cli burn onto the disc
# in DRIVE.
burn() {
    drive=$1 label=$2 source=$3
    shift 3
    tessor-cli burn --device "$drive" --label "$label" "$@" "$source" > /tmp/burn.log 2>&1
    rc=$?
    show /tmp/burn.log
    return $rc
}

# export_disc DRIVE NAME FILE SOURCE [SESSION]: the disc to the host, with
# the folder (of /src) its tree must equal.
export_disc() {
    tessor-vdrive export "$1" "/tmp/out/$3" && echo "$2 $3 $4 ${5:-0}" >> /tmp/out/manifest
}

# listed DRIVE TEXT: tessor-cli ls of the disc says TEXT.
listed() {
    tessor-cli ls --device "$1" > /tmp/ls.log 2>&1
    show /tmp/ls.log
    grep -q "$2" /tmp/ls.log
}

# The first block of the last track: where the appended session starts.
last_track_start() { awk '$1 == "track" { start = $2 } END { print start }' "$TESSOR_VDRIVE_DIR/drive$1.state"; }

dvd_plus_rw() {
    tessor-vdrive insert 0 dvd+rw && burn 0 ALPHA /src/a/alpha && cycle /dev/sr0 &&
        mounted /dev/sr0 iso9660 /src/a && mounted /dev/sr0 udf /src/a &&
        export_disc 0 dvd+rw dvdplusrw.iso a
}
step "tessor-cli burn, DVD+RW, /dev/sr0; mount iso9660 and udf" dvd_plus_rw

cd_r() {
    tessor-vdrive insert 0 cd-r && burn 0 ALPHA /src/a/alpha && cycle /dev/sr0 &&
        mounted /dev/sr0 iso9660 /src/a && mounted /dev/sr0 udf /src/a &&
        export_disc 0 cd-r cdr.iso a
}
step "tessor-cli burn, CD-R, /dev/sr0; mount iso9660 and udf" cd_r

dvd_r() {
    tessor-vdrive insert 1 dvd-r &&
        tessor-cli burn-image --device 1 /src/gamma.iso > /tmp/burn.log 2>&1
    rc=$?
    show /tmp/burn.log
    [ $rc -eq 0 ] && cycle /dev/sr1 && same_start /dev/sr1 /src/gamma.iso &&
        mounted /dev/sr1 iso9660 /src/c && mounted /dev/sr1 udf /src/c &&
        export_disc 1 dvd-r dvdr.iso c
}
step "tessor-cli burn-image, DVD-R, /dev/sr1; dd, mount iso9660 and udf" dvd_r

# The burn is read back through the sr driver and compared with what was sent.
bd_r() {
    tessor-vdrive insert 0 bd-r && burn 0 ALPHA /src/a/alpha --verify &&
        grep -q "^Verified: " /tmp/burn.log && cycle /dev/sr0 &&
        mounted /dev/sr0 udf /src/a && mounted /dev/sr0 iso9660 /src/a &&
        export_disc 0 bd-r bdr.iso a
}
step "tessor-cli burn --verify, BD-R, /dev/sr0; mount udf and iso9660" bd_r

# The second session carries the first forward: the kernel sees both, in
# the Joliet, the primary and the UDF tree.
dvd_plus_r() {
    tessor-vdrive insert 0 dvd+r && burn 0 ALPHA /src/a/alpha && burn 0 BETA /src/b/beta &&
        grep -q "Carried forward" /tmp/burn.log && listed 0 "its UDF tree lists the same files" &&
        cycle /dev/sr0 && mounted /dev/sr0 iso9660 /src/ab && mounted_primary /dev/sr0 /src/ab &&
        mounted /dev/sr0 udf /src/ab &&
        export_disc 0 dvd+r-session1 dvdplusr.iso a &&
        export_disc 0 dvd+r-session2 dvdplusr.iso ab "$(last_track_start 0)"
}
step "tessor-cli burn twice, DVD+R, /dev/sr0: appended session carries the first; mount iso9660 (Joliet, primary) and udf" dvd_plus_r
