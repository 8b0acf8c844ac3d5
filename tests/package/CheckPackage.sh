#!/usr/bin/env bash
# Checks a built package without installing it system-wide: its metadata, and the programs run
# from a temporary root the package is unpacked into, finding their examples there.
set -euo pipefail
deb="$1"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

info=$(dpkg-deb --info "$deb")
for field in "Package: zd4270" "Maintainer:" "Description:"; do
    grep -q "$field" <<<"$info" || fail "no \"$field\" in the package's control data"
done
depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 libxml2 libmodbus5 qt6-translations-l10n; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb --field "$deb" Version)
for program in zd4270 zd4270-sim; do
    [ "$("$root/usr/bin/$program" --version)" = "$program $version" ] ||
        fail "$program --version does not print \"$program $version\""
    man --warnings -l "$root/usr/share/man/man1/$program.1.gz" >/dev/null 2>"$root/man.log" ||
        fail "the manual page of $program does not format"
    [ ! -s "$root/man.log" ] || fail "the manual page of $program warns: $(cat "$root/man.log")"
done
for file in applications/zd4270.desktop applications/zd4270-sim.desktop \
            icons/hicolor/scalable/apps/zd4270.svg icons/hicolor/48x48/apps/zd4270.png \
            zd4270/examples/lines/three-addressed.json zd4270/examples/stations/packed-intel.xml; do
    [ -f "$root/usr/share/$file" ] || fail "$file is not installed"
done

# The installed program's defaults are the installed examples: a scan finds their three gear.
scan=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/zd4270" scan --registry "$root/registry.ini")
addresses=$(grep -o '"shortAddress": [0-9]*' <<<"$scan" | grep -o '[0-9]*$' | tr '\n' ' ' | sed 's/ $//')
[ "$addresses" = "0 5 63" ] || fail "the scan of the installed example found \"$addresses\": $scan"
echo "package check: $deb is fine (version $version, scan found $addresses)"
