#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks what it would install: the file list,
# the control fields, the post-install step, the desktop entry and the AppStream metainfo.
# Usage: check-package.sh <build dir> <project version>
set -euo pipefail
build=$1
version=$2

for tool in cpack dpkg-deb dpkg-shlibdeps file desktop-file-validate appstreamcli; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is missing (scripts/setup.sh installs it)"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=("$work"/kolva-simulator_"$version"_*.deb)
[ -f "${deb[0]}" ] || { echo "no package built"; cat "$work/cpack.log"; exit 1; }

failed=0
fail() { echo "FAIL: $*"; failed=1; }

# Everything that dpkg -r has to remove again, and nothing else.
expected='-rwxr-xr-x root/root ./usr/lib/kolva-simulator/Server
-rw-r--r-- root/root ./usr/share/applications/kolva-simulator.desktop
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/kolva-simulator.svg
-rw-r--r-- root/root ./usr/share/metainfo/example.quillan.KolvaSimulator.metainfo.xml
lrwxrwxrwx root/root ./usr/bin/kolva-simulator -> ../lib/kolva-simulator/Server'
actual=$(dpkg-deb -c "${deb[0]}" | grep -v '^d' |
    awk '{ line = $1 " " $2; for (i = 6; i <= NF; i++) line = line " " $i; print line }' | sort)
if [ "$actual" != "$(sort <<<"$expected")" ]; then
    fail "file list differs (- expected, + packaged):"
    diff <(sort <<<"$expected") <(echo "$actual") || true
fi

field() { dpkg-deb -f "${deb[0]}" "$1"; }
[ "$(field Package)" = kolva-simulator ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
# Computed by dpkg-shlibdeps, not listed by hand: their absence means the computation did not run.
for dependency in libqt6widgets6 libqt6network6 libqt6svg6 libcap2-bin; do
    grep -qw "$dependency" <<<"$(field Depends)" || fail "Depends lacks $dependency: $(field Depends)"
done

dpkg-deb -e "${deb[0]}" "$work/control"
postinst=$work/control/postinst
if [ -x "$postinst" ]; then
    sh -n "$postinst" || fail "postinst is not valid sh"
    grep -q "setcap cap_net_bind_service=+ep '/usr/lib/kolva-simulator/Server'" "$postinst" ||
        fail "postinst does not grant port 23 to the installed binary"
else
    fail "no executable postinst"
fi

dpkg-deb -x "${deb[0]}" "$work/root"
desktop=$work/root/usr/share/applications/kolva-simulator.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
grep -qx 'Exec=kolva-simulator' "$desktop" || fail "the desktop entry does not start the launcher"
grep -qx 'Icon=kolva-simulator' "$desktop" || fail "the desktop entry names another icon"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/"*.metainfo.xml ||
    fail "appstreamcli rejects the metainfo"
file -L "$work/root/usr/bin/kolva-simulator" | grep -q ELF ||
    fail "the launcher does not lead to the program"

[ "$failed" = 0 ] && echo "package $(basename "${deb[0]}") checked"
exit "$failed"
