#!/usr/bin/env bash
# Builds the Debian package from build/ and lists what it holds.
set -euo pipefail
cd "$(dirname "$0")/../build"
cpack -G DEB >/dev/null
deb=$(ls -t velmora-flat_*.deb | head -n 1)
echo "== $deb"
dpkg-deb -I "$deb" | sed -n '/Package:/,$p'
contents=$(dpkg-deb -c "$deb")
echo "$contents"
for wanted in bin/velmora-flat lib/.*libvelmora.so share/applications/velmora-flat.desktop \
              share/metainfo/ share/icons/hicolor/48x48/apps/velmora-flat.png lib/udev/rules.d/70-velmora-flat.rules; do
    echo "$contents" | grep -qE "$wanted" || { echo "missing from the package: $wanted" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt5serialport5 || { echo "package lacks its Qt dependencies" >&2; exit 1; }
