# What check_package.sh (amd64) and check_arm64.sh share; sourced, not run.
#   make_packages BUILD_DIR     packaging/make-debs.sh into $work/out, the paths in $debs
#   lint DEB...                 lintian: any error or warning fails
#   check_recorder DEB ARCH     the recorder's package on any architecture
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }
field() { dpkg-deb -f "$1" "$2"; }
files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|'; }
version=

make_packages() {
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
    bash "$source_dir/packaging/make-debs.sh" "$1" "$work/out" >"$work/debs" ||
        fail "make-debs.sh failed"
    mapfile -t debs <"$work/debs"
    # No file belongs to two packages: dpkg would refuse to install the second.
    local shared
    shared=$(for deb in "${debs[@]}"; do files_of "$deb"; done | sort | uniq -d)
    [ -z "$shared" ] || fail "files in more than one package: $shared"
}

lint() {
    local report status=0
    report=$(lintian --fail-on error,warning "$@" 2>&1) || status=$?
    report=$(grep -v 'running with root privileges' <<<"$report" || true)
    echo "lintian $(basename -a "$@" | paste -sd' '): ${report:-clean}"
    [ "$status" -eq 0 ] || fail "lintian found errors or warnings"
}

# check_fields DEB PACKAGE ARCH: name, architecture, version and a maintainer to write to.
check_fields() {
    [ "$(basename "$1")" = "$2_${version}_$3.deb" ] || fail "unexpected file name $(basename "$1")"
    [ "$(field "$1" Package)" = "$2" ] || fail "Package is '$(field "$1" Package)'"
    [ "$(field "$1" Architecture)" = "$3" ] || fail "$2: Architecture is '$(field "$1" Architecture)'"
    [ "$(field "$1" Version)" = "$version" ] || fail "$2: Version is '$(field "$1" Version)'"
    field "$1" Maintainer | grep -Eq '^[^<]+ <[^@ ]+@[^> ]+>$' ||
        fail "$2: Maintainer '$(field "$1" Maintainer)' has no address"
}

# check_documents DEB PACKAGE PROGRAM...: copyright, changelog and a manual page per program.
check_documents() {
    local deb=$1 package=$2 listing path
    shift 2
    listing=$(files_of "$deb")
    for path in "/usr/share/doc/$package/copyright" "/usr/share/doc/$package/changelog.gz" \
                "${@/#//usr/share/man/man1/}"; do
        [[ $path == */man1/* ]] && path=$path.1.gz
        grep -qxF "$path" <<<"$listing" || fail "$path is not in $package"
    done
}

# check_debug DEB DBGSYM_DEB ROOT: every program in ROOT (DEB unpacked) is stripped and has
# its debug file, named by its build id, in the -dbgsym package.
check_debug() {
    local program id debug_files
    debug_files=$(files_of "$2")
    [ "$(field "$2" Depends)" = "$(field "$1" Package) (= $version)" ] ||
        fail "$(field "$2" Package) depends on '$(field "$2" Depends)'"
    for program in "$3"/usr/bin/*; do
        id=$(readelf -n "$program" 2>/dev/null | sed -n 's/^ *Build ID: *//p' || true)
        [ -n "$id" ] || continue  # a script
        ! readelf -S "$program" | grep -q '\.debug_info' || fail "$program is not stripped"
        grep -qxF "/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug" <<<"$debug_files" ||
            fail "no debug file for $(basename "$program") ($id)"
    done
}

# check_recorder DEB ARCH ROOT: the recorder's package, unpacked in ROOT.
check_recorder() {
    local deb=$1 arch=$2 root=$3 names expected script
    check_fields "$deb" kelvo-recorder "$arch"
    # Only what it links, as dpkg-shlibdeps found it for its architecture, and adduser for the
    # system user: no Qt.
    names=$(field "$deb" Depends | tr ',' '\n' | awk '{print $1}' | sort | tr '\n' ' ')
    expected="adduser libc6 libgcc-s1 libmosquitto1 libsqlite3-0 libstdc++6 "
    [ "$names" = "$expected" ] || fail "kelvo-recorder depends on '$names', expected '$expected'"
    dpkg-deb -x "$deb" "$root"
    check_documents "$deb" kelvo-recorder kelvo-recorder
    grep -qxF /lib/systemd/system/kelvo-recorder.service <<<"$(files_of "$deb")" ||
        fail "the unit is not in /lib/systemd/system"

    # The maintainer scripts make the system user, in dialout, at home in /var/lib/kelvo, and
    # never enable or start the service.
    dpkg-deb -e "$deb" "$work/control-$arch"
    # One line for each command continued over several with a backslash.
    sed -i -e ':a' -e '/\\$/N; s/\\\n *//; ta' "$work/control-$arch"/p*
    grep -Eq 'adduser .*--system .*--home /var/lib/kelvo .*kelvo$' "$work/control-$arch/postinst" ||
        fail "postinst makes no system user kelvo at home in /var/lib/kelvo"
    grep -q 'adduser --quiet kelvo dialout' "$work/control-$arch/postinst" ||
        fail "postinst does not put kelvo in dialout"
    grep -q 'chown kelvo:kelvo /var/lib/kelvo' "$work/control-$arch/postinst" ||
        fail "postinst does not give /var/lib/kelvo to kelvo"
    grep -q 'rm -rf /var/lib/kelvo' "$work/control-$arch/postrm" ||
        fail "postrm does not remove /var/lib/kelvo on purge"
    for script in postinst prerm postrm; do
        if grep -v '^ *#' "$work/control-$arch/$script" | grep -Eq \
            'systemctl .*(enable|start)|deb-systemd-invoke .*start|deb-systemd-helper .*enable'; then
            fail "$script enables or starts the service"
        fi
    done
}
