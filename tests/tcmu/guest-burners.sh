# Scenario group "burners", sourced by /init: burning programs that nobody
# here wrote burn onto the virtual recorder (drive 0, the BD writer, as
# /dev/sr0) through the kernel's sr driver, and the disc is read back. Each
# burner's output is in the log; lines in which a burner complains about an
# answer of the drive fail the step (see complaints()).

# complaints LOG: the burner's warnings and errors (growisofs marks them
# with ":-(" and ":-[", libburn with SORRY, WARNING and FAILURE).
complaints() { grep -i -E 'warn|error|fail|sorry|malformed|cannot|unable|:-\(|:-\[' "$1"; }

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
    if complaints "$log" > /tmp/complaints; then
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
