#!/usr/bin/env bash
# Makes the Debian packages of a built tree, for the architecture it was built for (amd64 from
# the machine's compiler, arm64 from the arm64 preset's cross compiler):
#   kelvo                  the windows, their launcher, desktop entry and icon, the simulator
#                          (only from a tree built with the windows)
#   kelvo-recorder         the headless recorder and its systemd unit
#   kelvo-dbgsym, kelvo-recorder-dbgsym
#                          the debug symbols split off their binaries, under
#                          /usr/lib/debug/.build-id, where gdb finds them by build id
# Each has its manual pages, copyright and changelog. Prints the path of every package made.
#   make-debs.sh BUILD_DIR OUT_DIR
set -euo pipefail
umask 022
packaging=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "make-debs: $*" >&2; exit 1; }

cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cached CMAKE_PROJECT_VERSION)
# The compiler's multiarch target, x86_64-linux-gnu or aarch64-linux-gnu, names the package
# architecture and the binutils that can read its binaries.
triplet=$(sed -n 's/^set(CMAKE_CXX_LIBRARY_ARCHITECTURE "\(.*\)")$/\1/p' \
    "$build"/CMakeFiles/[0-9]*/CMakeCXXCompiler.cmake)
export DEB_HOST_ARCH
DEB_HOST_ARCH=$(dpkg-architecture -t"$triplet" -qDEB_HOST_ARCH 2>/dev/null)
[ -n "$DEB_HOST_ARCH" ] || fail "no Debian architecture for $triplet"

# dpkg-gencontrol and dpkg-shlibdeps work in a source tree's debian/ folder.
mkdir "$work/debian"
cp "$packaging/control" "$packaging/changelog" "$work/debian/"
logged=$(dpkg-parsechangelog -l "$packaging/changelog" -S Version)
[ "$logged" = "$version" ] ||
    fail "packaging/changelog ends at $logged, the project is at $version: add an entry"

# stage PACKAGE COMPONENT: what `cmake --install` puts under /usr for that component, with a
# manual page for every program, the copyright and the changelog.
stage() {
    local package=$1 root=$work/$1 program
    DESTDIR=$root cmake --install "$build" --prefix /usr --component "$2" >/dev/null
    compgen -G "$root/usr/bin/*" >/dev/null || fail "the install component $2 has no program"
    mkdir -p "$root/usr/share/man/man1" "$root/usr/share/doc/$package"
    for program in "$root"/usr/bin/*; do
        program=$(basename "$program")
        [ -f "$packaging/man/$program.1" ] || fail "no manual page packaging/man/$program.1"
        gzip -9n <"$packaging/man/$program.1" >"$root/usr/share/man/man1/$program.1.gz"
    done
    cp "$packaging/copyright" "$root/usr/share/doc/$package/"
    gzip -9n <"$packaging/changelog" >"$root/usr/share/doc/$package/changelog.gz"
}

# elf_programs PACKAGE: its programs that are ELF binaries, not scripts.
elf_programs() {
    local program
    for program in "$work/$1"/usr/bin/*; do
        if [ "$(head -c 4 "$program")" = $'\x7fELF' ]; then echo "$program"; fi
    done
}

# split_debug PACKAGE: moves the debug information of its binaries into PACKAGE-dbgsym, as
# /usr/lib/debug/.build-id/xx/yyyy.debug, strips them and links each to its file; the build
# ids go to $build_ids.
build_ids=
split_debug() {
    local root=$work/$1 debug_root=$work/$1-dbgsym binary id debug
    build_ids=
    for binary in $(elf_programs "$1"); do
        id=$(readelf -n "$binary" | sed -n 's/^ *Build ID: *//p')
        [ -n "$id" ] || fail "$binary has no build id"
        debug=$debug_root/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
        mkdir -p "$(dirname "$debug")"
        "$triplet-objcopy" --only-keep-debug --compress-debug-sections "$binary" "$debug"
        chmod 0644 "$debug"
        "$triplet-strip" --remove-section=.comment --remove-section=.note "$binary"
        "$triplet-objcopy" --add-gnu-debuglink="$debug" "$binary"
        build_ids="$build_ids${build_ids:+ }$id"
    done
    mkdir -p "$debug_root/usr/share/doc" "$debug_root/DEBIAN"
    ln -s "$1" "$debug_root/usr/share/doc/$1-dbgsym"
}

# assemble PACKAGE: its control file (Depends from the libraries its binaries link,
# Installed-Size) and md5sums, then the .deb.
assemble() {
    local package=$1 root=$work/$1 substvars=$work/$1.substvars
    : >"$substvars"
    local programs
    mapfile -t programs < <(elf_programs "$package")
    (cd "$work" && dpkg-shlibdeps -T"$substvars" "${programs[@]/#/-e}" 2>&1 |
        { grep -v 'binaries to analyze should already be installed' || true; }) >&2
    split_debug "$package"
    mkdir -p "$root/DEBIAN"
    (cd "$work" && dpkg-gencontrol -p"$package" -v"$version" -T"$substvars" -P"$root" \
        -f"$work/files")
    debian_package "$root"
    # The debug symbols, as debhelper makes them: a package that only gdb asks for.
    (cd "$work" && dpkg-gencontrol -p"$package" -v"$version" -T"$substvars" \
        -P"$work/$package-dbgsym" -f"$work/files" -URecommends -USuggests -UPre-Depends \
        -UHomepage -DPackage="$package-dbgsym" -DDepends="$package (= $version)" -DSection=debug \
        -DPriority=optional -DAuto-Built-Package=debug-symbols \
        -DDescription="debug symbols for $package" -DBuild-Ids="$build_ids")
    debian_package "$work/$package-dbgsym"
}

debian_package() {
    local root=$1 file compression
    (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
        xargs -0r md5sum >DEBIAN/md5sums)
    file=$out/$(sed -n 's/^Package: //p' "$root/DEBIAN/control")_${version}_$DEB_HOST_ARCH.deb
    # The debug sections are compressed already: xz would take seconds for nothing.
    case "$file" in
        *-dbgsym_*) compression=gzip ;;
        *) compression=xz ;;
    esac
    dpkg-deb --root-owner-group -Z"$compression" --build "$root" "$file" >/dev/null
    echo "$file"
}

# The desktop package is everything installed without a component of its own.
if [ "$(cached KELVO_UI)" = ON ]; then
    stage kelvo Unspecified
    assemble kelvo
fi

stage kelvo-recorder recorder
install -D -m 0644 "$packaging/kelvo-recorder.service" \
    "$work/kelvo-recorder/lib/systemd/system/kelvo-recorder.service"
for script in postinst prerm postrm; do
    install -D -m 0755 "$packaging/kelvo-recorder.$script" "$work/kelvo-recorder/DEBIAN/$script"
done
assemble kelvo-recorder
