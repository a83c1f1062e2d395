#!/usr/bin/env bash
# Installs the packages that tools/package.sh built (build-deb/) with apt, starts the installed programs offscreen
# and the installed INDI driver under indiserver for a moment, purges the packages and checks that nothing they
# installed is left. Changes the system: run it in CI or on a machine where velmora-flat may come and go.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
version=$(dpkg-parsechangelog -l debian/changelog -S Version)
deb="$PWD/build-deb/velmora-flat_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb"
indi_deb="$PWD/build-deb/velmora-flat-indi_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb"
assistant_deb="$PWD/build-deb/velmora-flat-assistant_${version}_$(dpkg-architecture -q DEB_HOST_ARCH).deb"
[ -f "$deb" ] || { echo "no package at $deb: run tools/package.sh first" >&2; exit 1; }
[ -f "$indi_deb" ] || { echo "no package at $indi_deb: run tools/package.sh first" >&2; exit 1; }
[ -f "$assistant_deb" ] || { echo "no package at $assistant_deb: run tools/package.sh first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Which of the package's paths (directories mostly) were on the system before it came.
{ dpkg-deb -c "$deb"; dpkg-deb -c "$indi_deb"; dpkg-deb -c "$assistant_deb"; } | awk '{print $6}' | sed -e 's|^\.||' -e 's|/$||' | grep -v '^$' >"$work/shipped"
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
done <"$work/shipped" >"$work/present-before"

echo "== install"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q -o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0 "$deb" "$indi_deb" "$assistant_deb"
dpkg -L velmora-flat velmora-flat-indi velmora-flat-assistant | grep -vxF /. | sort -u >"$work/installed"

echo "== start /usr/bin/velmora-flat offscreen"
if ldd /usr/bin/velmora-flat | grep -F "not found"; then
    echo "the installed program misses a library" >&2
    exit 1
fi
ldd /usr/bin/velmora-flat | grep -F libvelmora
mkdir -p -m 700 "$work/home"
status=0
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=offscreen \
    timeout 3 /usr/bin/velmora-flat >"$work/run.log" 2>&1 || status=$?
cat "$work/run.log"
if [ "$status" -ne 124 ]; then
    echo "the installed program ended by itself (exit status $status) instead of running until stopped" >&2
    exit 1
fi
echo "ran until stopped by timeout (exit status 124)"

echo "== start /usr/bin/indi_velmora_flat under indiserver"
if ldd /usr/bin/indi_velmora_flat | grep -F "not found"; then
    echo "the installed driver misses a library" >&2
    exit 1
fi
port=$((20000 + RANDOM % 30000))
HOME="$work/home" indiserver -p "$port" -u "$work/indi.sock" indi_velmora_flat >"$work/indiserver.log" 2>&1 &
server=$!
defined=""
for _ in $(seq 50); do
    defined=$(indi_getprop -p "$port" -t 1 "VELMORA Flat Box.CONNECTION.CONNECT" 2>/dev/null || true)
    [ -n "$defined" ] && break
    sleep 0.1
done
kill "$server"
wait "$server" 2>/dev/null || true
if [ -z "$defined" ]; then
    cat "$work/indiserver.log"
    echo "the installed driver did not define its properties under indiserver" >&2
    exit 1
fi
echo "$defined"

echo "== start /usr/bin/velmora-flat-assistant"
if ldd /usr/bin/velmora-flat-assistant | grep -F "not found"; then
    echo "the installed assistant misses a library" >&2
    exit 1
fi
/usr/bin/velmora-flat-assistant --help >"$work/assistant-help.txt"
grep -qF -- "--max-exposure" "$work/assistant-help.txt" || { cat "$work/assistant-help.txt"; echo "the assistant's --help lacks its options" >&2; exit 1; }
echo "--help lists the options"
status=0
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=offscreen \
    timeout 3 /usr/bin/velmora-flat-assistant --gui >"$work/assistant-run.log" 2>&1 || status=$?
cat "$work/assistant-run.log"
if [ "$status" -ne 124 ]; then
    echo "the installed assistant's window ended by itself (exit status $status) instead of running until stopped" >&2
    exit 1
fi
echo "the window ran until stopped by timeout (exit status 124)"

echo "== purge"
DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -q -o DPkg::Lock::Timeout=600 -o Dpkg::Use-Pty=0 velmora-flat-assistant velmora-flat-indi velmora-flat
left=0
while read -r path; do
    if { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -qxF "$path" "$work/present-before"; then
        echo "left after purge: $path" >&2
        left=1
    fi
done <"$work/installed"
[ "$left" -eq 0 ] || exit 1
echo "purged: none of the $(wc -l <"$work/installed") paths that the package installed is left behind"
