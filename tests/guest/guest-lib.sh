# Shell functions for the tests that boot a Linux guest under qemu: the
# Debian cloud kernel (fetched once per cache folder), its modules with their
# dependencies, programs copied with the libraries they load, the initramfs.
# Source it from bash; the caller defines skip() (exit 77 with a reason).

# guest_kernel CACHE: sets KVER, VMLINUZ and MODDIR. The package comes from
# TESSOR_GUEST_KERNEL_DEB, else from a .deb already in CACHE, else from apt
# (apt-get download; never installed). Concurrent tests share the cache.
guest_kernel() {
    local cache=$1 deb pkg
    mkdir -p "$cache" || return 1
    exec 9> "$cache/.lock"
    flock 9
    deb=${TESSOR_GUEST_KERNEL_DEB:-}
    if [ -z "$deb" ]; then
        deb=$(ls "$cache"/linux-image-*-cloud-amd64_*.deb 2> /dev/null | head -n 1)
        if [ -z "$deb" ]; then
            pkg=$(apt-cache depends linux-image-cloud-amd64 2> /dev/null | sed -n 's/^ *Depends: //p' | head -n 1)
            [ -n "$pkg" ] || { flock -u 9; skip "no linux-image-cloud-amd64 package known to apt"; }
            (cd "$cache" && apt-get download "$pkg") > "$cache/download.log" 2>&1 ||
                { flock -u 9; skip "cannot download $pkg (see $cache/download.log)"; }
            deb=$(ls "$cache"/linux-image-*-cloud-amd64_*.deb 2> /dev/null | head -n 1)
            [ -n "$deb" ] || { flock -u 9; skip "download of $pkg gave no package"; }
        fi
    fi
    [ -f "$deb" ] || { flock -u 9; skip "kernel package $deb missing"; }
    local stamp="$cache/kernel/.from-$(basename "$deb")"
    if [ ! -f "$stamp" ]; then
        rm -rf "$cache/kernel" && mkdir "$cache/kernel" &&
            dpkg-deb -x "$deb" "$cache/kernel" && touch "$stamp" ||
            { flock -u 9; echo "cannot unpack $deb"; return 1; }
    fi
    flock -u 9
    KVER=$(ls "$cache/kernel/lib/modules" | head -n 1)
    MODDIR="$cache/kernel/lib/modules/$KVER/kernel"
    VMLINUZ="$cache/kernel/boot/vmlinuz-$KVER"
    [ -f "$VMLINUZ" ] || { echo "no kernel image in $deb"; return 1; }
}

_guest_modfile() {
    local pattern
    pattern=$(printf '%s' "$1" | sed 's/[-_]/[-_]/g')
    find "$MODDIR" -regextype posix-extended -regex ".*/${pattern}\.ko(\.xz|\.zst|\.gz)?" | head -n 1
}

_guest_resolve() {
    local root=$1 m=$2 f d
    case "$_guest_order" in *" $m "*) return 0 ;; esac
    f=$(_guest_modfile "$m")
    [ -n "$f" ] || { echo "module $m not in $KVER"; return 1; }
    case "$f" in
        *.xz) xz -dc "$f" ;;
        *.zst) zstd -qdc "$f" ;;
        *.gz) gzip -dc "$f" ;;
        *) cat "$f" ;;
    esac > "$root/lib/modules/$m.ko"
    for d in $(tr '\0' '\n' < "$root/lib/modules/$m.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
        _guest_resolve "$root" "$d" || return 1
    done
    _guest_order="$_guest_order$m "
}

# guest_modules ROOT MODULE...: the modules and their dependencies, in
# ROOT/lib/modules, and their load order (dependencies first) in ROOT/modules.
guest_modules() {
    local root=$1 m
    shift
    mkdir -p "$root/lib/modules"
    _guest_order=" "
    for m in "$@"; do
        _guest_resolve "$root" "$m" || return 1
    done
    echo $_guest_order | tr ' ' '\n' > "$root/modules"
}

# guest_program ROOT BINARY [DEST]: copies a program to DEST (default: its
# own path) in ROOT, with every library the dynamic loader gives it at the
# same paths. A static program is copied alone.
guest_program() {
    local root=$1 bin=$2 dest=${3:-$2} lib
    mkdir -p "$root$(dirname "$dest")" && cp -L "$bin" "$root$dest" || return 1
    for lib in $(ldd "$bin" 2> /dev/null | sed -n 's/.*=> \(\/[^ ]*\).*/\1/p; s/^[[:space:]]*\(\/[^ ]*\) (.*/\1/p'); do
        [ -e "$root$lib" ] && continue
        mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib" || return 1
    done
}

# guest_pack ROOT OUT: ROOT as a gzip-compressed cpio initramfs.
guest_pack() {
    (cd "$1" && find . | cpio -o -H newc --quiet | gzip -1) > "$2"
}

# guest_boot_cd LIMIT INITRAMFS DISC LOG: boots the kernel (guest_kernel)
# with INITRAMFS under qemu (TCG), DISC in a virtio-scsi CD drive, the
# serial console into LOG, for at most LIMIT seconds; prints how long it
# took. Returns qemu's exit status (124 on the time-out).
guest_boot_cd() {
    local limit=$1 initrd=$2 disc=$3 log=$4 start qrc
    start=$(date +%s)
    timeout "$limit" qemu-system-x86_64 -machine pc -accel tcg -cpu max -m 512 -smp 1 \
        -nographic -no-reboot -nic none -kernel "$VMLINUZ" -initrd "$initrd" \
        -append "console=ttyS0 quiet panic=-1" \
        -device virtio-scsi-pci,id=scsi0 \
        -drive if=none,id=cd,file="$disc",media=cdrom,format=raw \
        -device scsi-cd,drive=cd,bus=scsi0.0 < /dev/null > "$log" 2>&1
    qrc=$?
    echo "qemu exit $qrc after $(($(date +%s) - start)) s; serial log: $(realpath -m "$log")"
    return $qrc
}
