#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from this build tree,
# unpacked with dpkg-deb into a temporary root (not installed), and its
# programs run from there. They are started through their links in usr/bin
# and must find the virtual recorder beside their real files in
# usr/lib/tessor. Lintian, when installed, judges the package; its errors
# fail the test, its warnings are shown. Skipped (77) without the Debian
# packaging tools.
# Usage: check-package.sh BUILD_DIR
set -uo pipefail
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "check-package: $tool is not installed; skipped"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "check-package: $*" >&2
    failures=$((failures + 1))
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    fail "cpack failed"
    exit 1
fi
debs=("$work"/out/tessor_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { fail "no package in $work/out"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
echo "check-package: $(basename "$deb"), Depends: $depends"
for lib in libc6 libstdc++6; do
    [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib (dpkg-shlibdeps did not run?)"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
expected=(
    usr/lib/tessor/tessor-cli usr/lib/tessor/tessor-vdrive usr/lib/tessor/libwnaspi32.so
    usr/share/man/man1/tessor-cli.1.gz usr/share/man/man1/tessor-vdrive.1.gz
    usr/share/bash-completion/completions/tessor-cli
    usr/share/bash-completion/completions/tessor-vdrive
    usr/share/doc/tessor/copyright usr/share/doc/tessor/changelog.gz
)
if [ -e "$root/usr/lib/tessor/tessor" ]; then
    expected+=(
        usr/share/man/man1/tessor.1.gz
        usr/share/applications/org.tessor.tessor.desktop
        usr/share/metainfo/org.tessor.tessor.metainfo.xml
        usr/share/icons/hicolor/scalable/apps/tessor.svg
    )
    for size in 16 22 24 32 48 64 128 256; do
        expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tessor.png")
    done
fi
for file in "${expected[@]}"; do
    [ -e "$root/$file" ] || fail "the package lacks /$file"
done
for program in tessor tessor-cli tessor-vdrive; do
    [ -e "$root/usr/lib/tessor/$program" ] || continue
    link=$(readlink "$root/usr/bin/$program")
    [ "$link" = "../lib/tessor/$program" ] || fail "/usr/bin/$program links to '$link'"
done

# Run from elsewhere, with nothing pointing the loader at the build tree.
unset LD_LIBRARY_PATH
cd "$work"
export TESSOR_VDRIVE_DIR=$work/vdrive TESSOR_TIME_SCALE=0.01
bin=$root/usr/bin
[ "$("$bin/tessor-cli" --version)" = "tessor-cli $version" ] ||
    fail "tessor-cli --version does not say $version"
if [ -e "$bin/tessor" ]; then
    # The window program answers its command line without a display.
    [ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tessor" --version)" = "tessor $version" ] ||
        fail "tessor --version does not say $version"
    env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tessor" --bogus >/dev/null 2>&1
    [ $? -eq 2 ] || fail "tessor --bogus does not end with status 2"
fi
"$bin/tessor-vdrive" insert 1 dvd+rw || fail "tessor-vdrive insert failed"
devices=$("$bin/tessor-cli" devices --use-aspi 2>&1)
grep -q '^1: .*| writer | DVD+RW, blank' <<<"$devices" ||
    fail "tessor-cli devices --use-aspi did not list the virtual DVD+RW: $devices"

mkdir -p src/folder
echo "written from the unpacked package" >src/folder/note.txt
"$bin/tessor-cli" image -o "$work/image.iso" --label PACKAGED src >/dev/null ||
    fail "tessor-cli image failed"
"$bin/tessor-cli" burn --use-aspi --device 1 --label PACKAGED src >/dev/null ||
    fail "tessor-cli burn failed"
"$bin/tessor-vdrive" export 1 "$work/disc.iso" || fail "tessor-vdrive export failed"
for iso in image.iso disc.iso; do
    if command -v isoinfo >/dev/null; then
        got=$(isoinfo -J -i "$work/$iso" -x /src/folder/note.txt 2>/dev/null)
    else
        got=$(grep -ao "written from the unpacked package" "$work/$iso")
    fi
    [ "$got" = "written from the unpacked package" ] || fail "$iso does not hold src/folder/note.txt"
done

if command -v lintian >/dev/null; then
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
    [ -z "$report" ] || printf 'check-package: lintian says:\n%s\n' "$report"
    grep -q '^E: ' <<<"$report" && fail "lintian reports errors"
    if [ -e "$root/usr/lib/tessor/tessor" ]; then
        desktop-file-validate "$root/usr/share/applications/org.tessor.tessor.desktop" ||
            fail "desktop-file-validate"
        appstreamcli validate --no-net "$root/usr/share/metainfo/org.tessor.tessor.metainfo.xml" ||
            fail "appstreamcli validate"
    fi
else
    echo "check-package: lintian is not installed; the package was not linted"
fi

if ((failures)); then
    exit 1
fi
echo "check-package: the unpacked package works"
