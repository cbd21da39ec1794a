#!/bin/sh
# Checks what the build installs, as a person or a packager receives it.
#   check-install.sh layout BUILD_DIR APP_ID IMPORT   cmake --install into a scratch prefix: every
#                                                     file present and nothing else, validators and
#                                                     man clean
#   check-install.sh package BUILD_DIR APP_ID IMPORT  cpack -G DEB: Depends filled in from the linked
#                                                     libraries, files matching the install layout
# IMPORT is "import" when the import module is built, "no-import" otherwise.
set -eu
mode=$1
build=$(cd "$2" && pwd)
id=$3
import=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

module=
[ "$import" = import ] && module="lib/kartivo/kartivo-geoimport.so
"
expected="bin/kartivo
bin/kartivo-batch
${module}share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/kartivo-batch.1
share/man/man1/kartivo.1
share/metainfo/$id.metainfo.xml"

# The installed files, relative to the prefix, sorted.
install_layout() {
    cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
    (cd "$scratch/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

case $mode in
layout)
    found=$(install_layout)
    [ "$found" = "$expected" ] || fail "installed files differ from the expected layout:
$found"
    prefix=$scratch/prefix
    out=$(desktop-file-validate "$prefix/share/applications/$id.desktop" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
    grep -qx 'MimeType=image/bmp;' "$prefix/share/applications/$id.desktop" || fail "no MimeType=image/bmp;"
    grep -qx 'Exec=kartivo %f' "$prefix/share/applications/$id.desktop" || fail "Exec does not pass the file"
    appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >"$scratch/as.txt" 2>&1 ||
        fail "appstreamcli validate: $(cat "$scratch/as.txt")"
    for page in kartivo kartivo-batch; do
        file=$prefix/share/man/man1/$page.1
        text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$file" 2>"$scratch/man.err") || fail "man -l $file"
        [ ! -s "$scratch/man.err" ] || fail "man -l $file: $(cat "$scratch/man.err")"
        printf '%s\n' "$text" | grep -q "^NAME" || fail "$file has no NAME section"
        printf '%s\n' "$text" | grep -q -- "--help" || fail "$file does not describe --help"
    done
    # Both answer on the terminal without a display.
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/kartivo" --version | grep -q '^kartivo ' ||
        fail "kartivo --version"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/kartivo" --help | grep -q 'Usage:' ||
        fail "kartivo --help"
    "$prefix/bin/kartivo-batch" --version | grep -q '^kartivo-batch ' || fail "kartivo-batch --version"
    if [ "$import" = import ]; then
        # The installed program finds its module: the import goes as far as reading the file.
        out=$("$prefix/bin/kartivo-batch" import "$scratch/none.tif" 2>&1) && fail "import of a missing file succeeded"
        if printf '%s\n' "$out" | grep -q 'import module'; then fail "the installed import module is not found: $out"; fi
    fi
    ;;
package)
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb" >"$scratch/cpack.txt" 2>&1 ||
        fail "cpack: $(cat "$scratch/cpack.txt")"
    set -- "$scratch"/deb/kartivo_*.deb
    [ -f "$1" ] || fail "cpack made no kartivo_*.deb"
    deb=$1
    depends=$(dpkg-deb -f "$deb" Depends)
    # What dpkg-shlibdeps finds for a Qt Widgets program, and the run-time platform plugins.
    for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 qt6-qpa-plugins; do
        printf '%s\n' "$depends" | tr ',' '\n' | grep -q "^ *$package\( \|$\)" ||
            fail "Depends lacks $package: $depends"
    done
    # GDAL's library (libgdal32 and so on), linked by the import module alone.
    if [ "$import" = import ]; then
        printf '%s\n' "$depends" | tr ',' '\n' | grep -q '^ *libgdal[0-9]' || fail "Depends lacks GDAL: $depends"
    fi
    [ "$(dpkg-deb -f "$deb" Package)" = kartivo ] || fail "package name"
    packaged=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./usr/||' | LC_ALL=C sort)
    installed=$(install_layout)
    [ "$packaged" = "$installed" ] || fail "package files differ from the install layout:
$packaged"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac
