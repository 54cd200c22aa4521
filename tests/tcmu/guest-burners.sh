# Scenario group "burners", sourced by /init: burning programs that nobody
# here wrote burn onto the virtual recorder (drive 0, the BD writer, as
# /dev/sr0) through the kernel's sr driver, and the disc is read back. Each
# burner's output is in the log; lines in which a burner complains about an
# answer of the drive fail the step (see complaints()).

# complaints LOG: the burner's warnings and errors (growisofs marks them
# with ":-(" and ":-[", libburn with SORRY, WARNING and FAILURE).
# A step may allow one warning it expects ($allowed, a fixed text).
complaints() {
    grep -i -E 'warn|error|fail|sorry|malformed|cannot|unable|:-\(|:-\[' "$1" |
        { if [ -n "${allowed:-}" ]; then grep -v -F "$allowed"; else cat; fi; }
}

# run_burner LOG COMMAND...: the burner's output to the log; it must end well
# and complain of nothing.
run_burner() {
    log=$1
    shift
    "$@" > "$log" 2>&1
    rc=$?
    show "$log"
    if [ $rc -ne 0 ]; then
        echo "exit status $rc"
        return 1
    fi
    complaints "$log" > /tmp/complaints
    if [ -s /tmp/complaints ]; then
        echo "complaints:"
        cat /tmp/complaints
        return 1
    fi
}

growisofs_dvd_plus_rw() {
    tessor-vdrive insert 0 dvd+rw &&
        run_burner /tmp/growisofs.log growisofs -dvd-compat -Z /dev/sr0=/src/gamma.iso &&
        same_start /dev/sr0 /src/gamma.iso
}
step "growisofs, DVD+RW: burn, dd read-back" growisofs_dvd_plus_rw

growisofs_dvd_r() {
    tessor-vdrive insert 0 dvd-r &&
        run_burner /tmp/growisofs.log growisofs -dvd-compat -Z /dev/sr0=/src/gamma.iso &&
        same_start /dev/sr0 /src/gamma.iso
}
step "growisofs, DVD-R: burn, dd read-back" growisofs_dvd_r

wodim_tao() {
    tessor-vdrive insert 0 cd-r &&
        run_burner /tmp/wodim.log wodim -v -tao gracetime=2 dev=/dev/sr0 /src/gamma.iso &&
        cycle /dev/sr0 && same_start /dev/sr0 /src/gamma.iso
}
step "wodim -tao, CD-R: burn, dd read-back" wodim_tao

xorriso_bd_re() {
    tessor-vdrive insert 0 bd-re &&
        run_burner /tmp/xorriso.log xorriso -outdev /dev/sr0 -format as_needed \
            -map /src/a/alpha /alpha -commit &&
        rm -rf /tmp/x && mkdir /tmp/x &&
        run_burner /tmp/extract.log xorriso -osirrox on -indev /dev/sr0 -extract /alpha /tmp/x/alpha &&
        same_tree /src/a /tmp/x
}
step "xorriso, BD-RE: format, burn, xorriso read-back" xorriso_bd_re

xorriso_dvd_plus_r() {
    tessor-vdrive insert 0 dvd+r &&
        run_burner /tmp/xorriso.log xorriso -outdev /dev/sr0 -map /src/a/alpha /alpha -commit &&
        run_burner /tmp/xorriso2.log xorriso -dev /dev/sr0 -map /src/b/beta /beta -commit &&
        rm -rf /tmp/x && mkdir /tmp/x &&
        run_burner /tmp/extract.log xorriso -osirrox on -indev /dev/sr0 \
            -extract /alpha /tmp/x/alpha -extract /beta /tmp/x/beta &&
        mkdir -p /tmp/both && cp -a /src/a/alpha /src/b/beta /tmp/both/ &&
        same_tree /tmp/both /tmp/x && cycle /dev/sr0 && mounted /dev/sr0 iso9660 /tmp/both
}
step "xorriso, DVD+R: two sessions, xorriso read-back, mount iso9660" xorriso_dvd_plus_r

# Sessions of other burners and of tessor-cli on one disc: a first session by
# another burner (a), then tessor-cli, which must carry it forward (b), then
# another burner again, which must carry tessor-cli's session forward (c).
# After each session the kernel reads every file of every session back.
export MKISOFS=/usr/bin/genisoimage
mkisofs_c="-R -J -input-charset utf-8 -graft-points /gamma=/src/c/gamma"

growisofs_a() {
    run_burner /tmp/growisofs.log growisofs -Z /dev/sr0 -R -J -input-charset utf-8 \
        -graft-points /alpha=/src/a/alpha && cycle /dev/sr0 && mounted /dev/sr0 iso9660 /src/a
}

# tessor_after [OPTION...]: tessor-cli appends b; the disc then shows a and
# b (Joliet names, the primary tree's contents).
tessor_after() {
    tessor-cli burn --device 0 --label BETA "$@" /src/b/beta > /tmp/burn.log 2>&1
    rc=$?
    show /tmp/burn.log
    [ $rc -eq 0 ] && grep -q "Carried forward" /tmp/burn.log && cycle /dev/sr0 &&
        mounted /dev/sr0 iso9660 /src/ab && mounted_primary /dev/sr0 /src/ab
}

# mkisofs -M takes the earlier names from Rock Ridge, and tessor-cli writes
# none: it says so and falls back to the primary tree's 8.3 names. So the
# third session must hold every file's contents, and c by its names.
mkisofs_allowed="Neither Rock Ridge"
mkisofs_shows() {
    grep -q "ISO-9660 file names have been used instead" "$1" && cycle /dev/sr0 &&
        mounted_primary /dev/sr0 /src/abc && mount -t iso9660 -o ro /dev/sr0 /mnt &&
        { same_contents /src/abc /mnt && same_tree /src/c/gamma /mnt/gamma; }
    rc=$?
    umount /mnt 2> /dev/null
    return $rc
}
growisofs_last() {
    allowed=$mkisofs_allowed run_burner /tmp/growisofs2.log growisofs -M /dev/sr0 $mkisofs_c &&
        mkisofs_shows /tmp/growisofs2.log
}
# xorriso takes the earlier names from the Joliet tree: all of them stay.
xorriso_last() {
    run_burner /tmp/xorriso2.log xorriso -local_charset UTF-8 -dev /dev/sr0 -joliet on \
        -map /src/c/gamma /gamma -commit &&
        cycle /dev/sr0 && mounted /dev/sr0 iso9660 /src/abc && mounted_primary /dev/sr0 /src/abc
}

cross_dvd_plus_r() {
    tessor-vdrive insert 0 dvd+r && growisofs_a && tessor_after && growisofs_last
}
step "DVD+R: growisofs -Z, tessor-cli, growisofs -M; mount after each" cross_dvd_plus_r

# (xorriso cannot append to the virtual recorder's DVD-R: it lists no
# incremental recording feature.)
cross_dvd_r() {
    tessor-vdrive insert 0 dvd-r && growisofs_a && tessor_after && growisofs_last
}
step "DVD-R: growisofs -Z, tessor-cli, growisofs -M; mount after each" cross_dvd_r

# On CD-R the next session's image is made against the disc (mkisofs -C
# with wodim's -msinfo, -M the disc) and burnt by wodim -multi. (xorriso
# takes the virtual recorder's CD-R for closed: it reads no full TOC.)
wodim_multi() { run_burner "$1" wodim -v -multi -tao gracetime=2 dev=/dev/sr0 "$2" && cycle /dev/sr0; }
cross_cd_r() {
    tessor-vdrive insert 0 cd-r && wodim_multi /tmp/wodim.log /src/alpha.iso &&
        mounted /dev/sr0 iso9660 /src/a && tessor_after &&
        msinfo=$(wodim -msinfo dev=/dev/sr0 2> /dev/null) &&
        allowed=$mkisofs_allowed run_burner /tmp/mkisofs.log genisoimage -C "$msinfo" \
            -M /dev/sr0 -o /tmp/gamma.iso $mkisofs_c &&
        wodim_multi /tmp/wodim2.log /tmp/gamma.iso && mkisofs_shows /tmp/mkisofs.log
}
step "CD-R: wodim -multi, tessor-cli, wodim -multi; mount after each" cross_cd_r

# Overwritable media: one volume grown in place by each session.
cross_dvd_plus_rw() {
    tessor-vdrive insert 0 dvd+rw && growisofs_a && tessor_after --no-erase && growisofs_last
}
step "DVD+RW: growisofs -Z, tessor-cli --no-erase, growisofs -M; mount after each" cross_dvd_plus_rw

cross_bd_re() {
    tessor-vdrive insert 0 bd-re &&
        run_burner /tmp/xorriso.log xorriso -local_charset UTF-8 -outdev /dev/sr0 \
            -format as_needed -joliet on -map /src/a/alpha /alpha -commit &&
        cycle /dev/sr0 && mounted /dev/sr0 iso9660 /src/a && tessor_after --no-erase && xorriso_last
}
step "BD-RE: xorriso, tessor-cli --no-erase, xorriso -dev -map; mount after each" cross_bd_re
