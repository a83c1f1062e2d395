#!/usr/bin/env bash
# Builds the Debian package(s) from debian/ with dpkg-buildpackage and checks them with lintian (any error or
# warning fails). The tree is copied without .git and build directories to build-deb/src and built there, so the
# working tree and its parent stay clean; the .deb files, .buildinfo and .changes end up in build-deb/ beside
# the build log.
#   --ci   first install what building and checking need (tools/install-deps.sh --ci, then any build dependency
#          of debian/control still missing)
# DEB_BUILD_OPTIONS is passed on: nocheck leaves the test suite out of the package build.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--ci" ]; then
    bash tools/install-deps.sh --ci
    if ! dpkg-checkbuilddeps 2>/dev/null; then
        sudo=""
        [ "$(id -u)" -ne 0 ] && sudo="sudo"
        DEBIAN_FRONTEND=noninteractive $sudo apt-get build-dep -y -qq --no-install-recommends .
    fi
fi

out=build-deb
rm -rf "$out"
mkdir -p "$out/src"
tar -c --anchored --exclude-vcs --exclude='./build*' --exclude='./obj-*' . | tar -x -C "$out/src"

# The build is verbose (every compiler call, every test): its log goes to a file, shown whole only on failure.
log="$out/dpkg-buildpackage.log"
echo "== dpkg-buildpackage -us -uc -b (log: $log)"
if ! (cd "$out/src" && dpkg-buildpackage -us -uc -b -J"$(nproc)") >"$log" 2>&1; then
    cat "$log" >&2
    echo "dpkg-buildpackage failed (log: $log)" >&2
    exit 1
fi
grep -E '^ +(dh_[a-z_]+|debian/rules [a-z_]+)|tests passed|dpkg-deb: building' "$log" || true

version=$(dpkg-parsechangelog -l debian/changelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
changes="$out/velmora-flat_${version}_${arch}.changes"
deb="$out/velmora-flat_${version}_${arch}.deb"
rm -rf "$out/src"

echo "== $deb"
dpkg-deb -I "$deb" | sed -n '/Package:/,$p'
contents=$(dpkg-deb -c "$deb")
echo "$contents"
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
for wanted in usr/bin/velmora-flat "usr/lib/$multiarch/velmora-flat/libvelmora.so.1" \
              usr/share/man/man1/velmora-flat.1.gz usr/share/applications/velmora-flat.desktop \
              usr/share/metainfo/example.velmora.flat.metainfo.xml usr/share/icons/hicolor/48x48/apps/velmora-flat.png \
              usr/lib/udev/rules.d/70-velmora-flat.rules usr/lib/systemd/user/velmora-flat-headless.service \
              usr/share/doc/velmora-flat/copyright; do
    echo "$contents" | grep -qF "./$wanted" || { echo "missing from the package: $wanted" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt5serialport5 || { echo "package lacks its Qt dependencies" >&2; exit 1; }
if dpkg-deb -f "$deb" Depends | grep -q libindi; then echo "the panel's package pulls libindi" >&2; exit 1; fi

# The INDI driver: a package of its own, on the panel package's device library.
indi_deb="$out/velmora-flat-indi_${version}_${arch}.deb"
echo "== $indi_deb"
dpkg-deb -I "$indi_deb" | sed -n '/Package:/,$p'
indi_contents=$(dpkg-deb -c "$indi_deb")
echo "$indi_contents"
for wanted in usr/bin/indi_velmora_flat usr/share/indi/indi_velmora_flat.xml usr/share/man/man1/indi_velmora_flat.1.gz \
              usr/share/doc/velmora-flat-indi/copyright; do
    echo "$indi_contents" | grep -qF "./$wanted" || { echo "missing from the driver's package: $wanted" >&2; exit 1; }
done
dpkg-deb -f "$indi_deb" Depends | grep -qF "velmora-flat (= $version)" \
    || { echo "the driver's package does not depend on velmora-flat $version" >&2; exit 1; }
dpkg-deb -f "$indi_deb" Depends | grep -q libindidriver1 || { echo "the driver's package lacks libindidriver1" >&2; exit 1; }

# The flat assistant: a package of its own, with its window, manual page and Italian texts.
assistant_deb="$out/velmora-flat-assistant_${version}_${arch}.deb"
echo "== $assistant_deb"
dpkg-deb -I "$assistant_deb" | sed -n '/Package:/,$p'
assistant_contents=$(dpkg-deb -c "$assistant_deb")
echo "$assistant_contents"
for wanted in usr/bin/velmora-flat-assistant usr/share/applications/velmora-flat-assistant.desktop \
              usr/share/man/man1/velmora-flat-assistant.1.gz \
              usr/share/velmora-flat-assistant/translations/velmora-flat-assistant_it.qm \
              usr/share/doc/velmora-flat-assistant/copyright; do
    echo "$assistant_contents" | grep -qF "./$wanted" || { echo "missing from the assistant's package: $wanted" >&2; exit 1; }
done
for library in libindiclient libqt5charts5; do
    dpkg-deb -f "$assistant_deb" Depends | grep -q "$library" \
        || { echo "the assistant's package lacks $library" >&2; exit 1; }
done
if echo "$contents" | grep -q assistant; then echo "the panel's package carries the assistant's files" >&2; exit 1; fi

echo "== lintian"
lintian --fail-on error,warning --display-info --pedantic --info "$changes"
echo "lintian: no error, no warning"
