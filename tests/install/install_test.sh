#!/usr/bin/env bash
# Installs the build into a scratch root and checks that every file lands where it should and
# that both programs start; then makes the Debian package, checks it holds the same files, and
# runs lintian on it when lintian is there.   install_test.sh <build-dir>
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

expected="usr/bin/flashgate
usr/bin/flashgate-handset-sim
usr/share/applications/flashgate.desktop
usr/share/doc/flashgate/changelog.gz
usr/share/doc/flashgate/copyright
usr/share/doc/flashgate/examples/70-flashgate-handset.rules
usr/share/doc/flashgate/examples/stations.py
usr/share/doc/flashgate/json-events.md
usr/share/icons/hicolor/16x16/apps/flashgate.png
usr/share/icons/hicolor/256x256/apps/flashgate.png
usr/share/icons/hicolor/32x32/apps/flashgate.png
usr/share/icons/hicolor/48x48/apps/flashgate.png
usr/share/man/man1/flashgate-handset-sim.1.gz
usr/share/man/man1/flashgate.1.gz"

fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
installed=$(cd "$scratch/root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$installed"))"

# Each program's whole output first: grep -q leaves at its first match, and a program still
# writing then dies of SIGPIPE, which pipefail would count as a failure.
grep -q '^Usage: flashgate' <<<"$("$scratch/root/usr/bin/flashgate" --help)" || fail "flashgate --help"
grep -q '^flashgate [0-9]' <<<"$("$scratch/root/usr/bin/flashgate" --version)" || fail "flashgate --version"
grep -q '^Usage: flashgate-handset-sim' <<<"$("$scratch/root/usr/bin/flashgate-handset-sim" --help)" ||
  fail "flashgate-handset-sim --help"
for page in flashgate flashgate-handset-sim; do
  zcat "$scratch/root/usr/share/man/man1/$page.1.gz" | grep -q '^\.SH NAME' || fail "manual page $page"
done
grep -q 'ID_MM_DEVICE_IGNORE' "$scratch/root/usr/share/doc/flashgate/examples/70-flashgate-handset.rules" ||
  fail "udev rule"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$scratch/root/usr/share/applications/flashgate.desktop" || fail "desktop entry"
fi

(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/flashgate_*.deb)
packaged=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./||' | LC_ALL=C sort)
[ "$packaged" = "$expected" ] || fail "packaged files differ:"$'\n'"$(diff <(echo "$expected") <(echo "$packaged"))"
if command -v lintian >/dev/null; then
  lintian --fail-on warning,error "$deb" 2>&1 | grep -v 'running with root privileges' || true
  lintian --fail-on warning,error "$deb" >/dev/null 2>&1 || fail "lintian"
fi
echo "installed and packaged: $(echo "$expected" | wc -l) files"
