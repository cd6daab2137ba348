#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree and checks what a user installs:
# the control fields, the file list, and that unpacking it puts kelvo on the PATH and the
# desktop entry and icon where desktops look.
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log 2>&1) ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
shopt -s nullglob
debs=("$work"/out/kelvo_*_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one kelvo_<version>_<arch>.deb, found ${#debs[@]}"
deb=${debs[0]}
arch=$(dpkg --print-architecture)
case "$(basename "$deb")" in
    kelvo_*_"$arch".deb) ;;
    *) fail "file name $(basename "$deb") does not end in _$arch.deb" ;;
esac

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvo ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for dep in libqt6widgets6 libqt6printsupport6 libqt6gui6 libqt6core6 qt6-qpa-plugins \
           fonts-wqy-zenhei fonts-dejavu-core libc6 libstdc++6; do
    grep -qxF "$dep" <<<"$names" || fail "Depends lacks $dep: $depends"
done
dpkg-deb -I "$deb" >/dev/null

listing=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
for path in /usr/bin/kelvo /usr/bin/kelvo-desktop /usr/bin/kelvo-meter-sim \
            /usr/share/applications/kelvo.desktop /usr/share/icons/hicolor/48x48/apps/kelvo.png; do
    grep -qxF "$path" <<<"$listing" || fail "$path is not in the package"
done
# Nothing of the build or the tests travels with it.
if grep -Eq '_tests?$|/include/|\.a$' <<<"$listing"; then fail "unexpected files: $listing"; fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
for program in kelvo kelvo-desktop kelvo-meter-sim; do
    [ -x "$root/usr/bin/$program" ] || fail "/usr/bin/$program is not executable"
done
PATH="$root/usr/bin" command -v kelvo >/dev/null || fail "kelvo is not found on the PATH"
entry="$root/usr/share/applications/kelvo.desktop"
grep -qx 'Exec=kelvo-desktop' "$entry" || fail "the desktop entry does not start the launcher"
grep -qx 'Icon=kelvo' "$entry" || fail "the desktop entry names another icon"
"$root/usr/bin/kelvo-meter-sim" --help >/dev/null || fail "the packaged simulator does not run"
echo "package check: $(basename "$deb") passed"
