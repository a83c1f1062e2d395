#!/usr/bin/env bash
# Tests the Windows build (tools/windows/build.sh) under wine64, in private Wine prefixes below build-windows/:
# - the Windows test suites (ctest in build-windows/, each program under wine64, offscreen);
# - the Windows program end to end: the box simulator on a Linux pseudo-terminal linked as COM5, found through
#   VELMORA_FLAT_EXTRA_PORTS=COM5, the lamp and a level through Alpaca (curl) with the wire bytes checked, the
#   simulator killed (the box lost), a new one linked as COM5 (the box back with its lamp and level), Ctrl-C (lamp
#   off, exit 0);
# - the installer: a silent install into a fresh prefix, the installed program answering Alpaca, a silent
#   uninstall that leaves nothing of it behind but the user's settings; the same with /D= for the folder.
# Options: --screenshots DIR also saves the window, day and night, with the box connected.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
out=$top/build-windows
if [ -z "${DISPLAY:-}" ]; then
    bash tools/install-deps.sh --windows
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
screenshots=""
[ "${1:-}" = --screenshots ] && screenshots=$(mkdir -p "$2" && cd "$2" && pwd)

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
sim=$top/build/tools/flatbox-sim/velmora-flatbox-sim
dist=$out/dist
setup=$(ls "$out"/velmora-flat-*-x64-setup.exe 2>/dev/null | head -n 1)
[ -x "$dist/velmora-flat.exe" ] && [ -n "$setup" ] || { echo "No Windows build: run tools/windows/build.sh first" >&2; exit 1; }
[ -x "$sim" ] || bash tools/build.sh -- velmora-flatbox-sim >/dev/null
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko set-up

work=$(mktemp -d /tmp/velmora-windows-test.XXXXXX)
passed=0
failed=0
sims=()
stop_all() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    for prefix in "$out/wine-prefix" "$out/wine-install"; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix $wineserver -k 2>/dev/null || true
    done
}
trap 'stop_all; rm -rf "$work"' EXIT

ok() { passed=$((passed + 1)); echo "PASS   : $*"; }
fail() { failed=$((failed + 1)); echo "FAIL!  : $*"; }
check() { local what=$1; shift; if "$@"; then ok "$what"; else fail "$what"; fi; }
# Waits up to $2 seconds for the extended regular expression $3 in file $1.
wait_for_line() {
    local deadline=$((SECONDS + $2))
    while [ $SECONDS -lt $deadline ]; do
        grep -Eq "$3" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
new_prefix() {
    export WINEPREFIX=$1
    [ "${2:-}" = fresh ] && rm -rf "$WINEPREFIX"
    [ -f "$WINEPREFIX/system.reg" ] || $wine wineboot -i >/dev/null 2>&1
    $wineserver -w
}
# Starts a simulator; its pseudo-terminal becomes COM5 of the prefix. Sets sim_pid.
start_simulator() {
    local log=$1
    : > "$work/sim.out"
    "$sim" --line-rate 9600 --log "$log" > "$work/sim.out" 2>&1 &
    sim_pid=$!
    sims+=("$sim_pid")
    wait_for_line "$work/sim.out" 10 '^/dev/pts/'
    ln -sfn "$(head -n 1 "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
}
alpaca() { # METHOD action [form]
    local url=http://127.0.0.1:${port}/api/v1/covercalibrator/0/$2
    if [ "$1" = GET ]; then curl -s -m 10 "$url?ClientID=7&ClientTransactionID=1"
    else curl -s -m 10 -X PUT --data "ClientID=7&ClientTransactionID=1${3:+&$3}" "$url"; fi
}
value_of() { sed -n 's/.*"Value":\([^,}]*\).*/\1/p'; }
# The commands a simulator received, in order, from its log ("12.345 >B077").
commands() { awk '{print $2}' "$1" | tr '\n' ' '; }
has_in_order() { # log, commands...
    local log=$1; shift
    local seen
    seen=$(commands "$log")
    local pattern
    pattern=$(printf '%s.*' "$@")
    [[ $seen =~ $pattern ]] && return 0
    echo "         the box heard: $seen"
    return 1
}
until_value() { # seconds, expected, action
    local deadline=$((SECONDS + $1))
    while [ $SECONDS -lt $deadline ]; do
        [ "$(alpaca GET "$3" | value_of)" = "$2" ] && return 0
        sleep 0.01
    done
    return 1
}
ms_now() { date +%s%3N; }

echo "=== the Windows test suites under wine64"
new_prefix "$out/wine-prefix"
if (cd "$out" && ctest -V --timeout 300 > "$work/ctest.log" 2>&1); then
    ok "ctest: $(grep -Eo '[0-9]+% tests passed.*' "$work/ctest.log" | tail -n 1), $(grep -c 'PASS   :' "$work/ctest.log") test functions and rows passed"
else
    cat "$work/ctest.log"
    fail "ctest: $(grep -E 'tests passed' "$work/ctest.log" | tail -n 1)"
fi

echo "=== the Windows program end to end, on the box simulator as COM5"
port=11211
$wine reg add 'HKCU\Software\VELMORA\VELMORA Flat Box' /v auto_search /d true /f >/dev/null 2>&1
$wine reg add 'HKCU\Software\VELMORA\VELMORA Flat Box\alpaca' /v port /d $port /f >/dev/null 2>&1
start_simulator "$work/box1.log"
(cd "$dist" && VELMORA_FLAT_EXTRA_PORTS=COM5 exec $wine velmora-flat.exe --headless > "$work/headless.log" 2>&1) &
program=$!
check "the program finds COM5 and connects the box" wait_for_line "$work/headless.log" 60 'connection accomplished'
check "Alpaca: connected" test "$(alpaca PUT connected Connected=true)" != ""
started=$(ms_now)
alpaca PUT calibratoron Brightness=77 >/dev/null
check "Alpaca: calibratoron 77 gives Ready (3)" until_value 10 3 calibratorstate
echo "         calibratoron to Ready: $(($(ms_now) - started)) ms"
check "Alpaca: brightness 77" test "$(alpaca GET brightness | value_of)" = 77
check "wire: level 77, then the lamp lit" has_in_order "$work/box1.log" '>B077' '>L000'
# calibratoron answers at once; the level is in force when the state is Ready again. The exchange is 14 bytes on
# the line: 14.6 ms at 9600 baud.
started=$(ms_now)
alpaca PUT calibratoron Brightness=140 >/dev/null
until_value 10 140 brightness && until_value 10 3 calibratorstate || true
echo "         a level change (77 to 140) through Alpaca until Ready: $(($(ms_now) - started)) ms (line time 14.6 ms)"
wait_for_line "$work/box1.log" 5 '>B140' || true
check "wire: the level change reached the box" has_in_order "$work/box1.log" '>B077' '>B140'
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
before=$(cpu_ticks "$program")
sleep 10
echo "         CPU of the idle program, lamp lit, 10 s: $(( ($(cpu_ticks "$program") - before) * 10 )) ms"

kill "$sim_pid"
lost_at=$(ms_now)
check "the simulator killed: the box is lost" wait_for_line "$work/headless.log" 10 'flat box lost'
echo "         noticed after $(($(ms_now) - lost_at)) ms"
check "Alpaca: not connected while the box is lost" until_value 10 false connected
start_simulator "$work/box2.log"
back_from=$(ms_now)
check "a new simulator as COM5: the box is back" wait_for_line "$work/headless.log" 30 'flat box back'
echo "         back after $(($(ms_now) - back_from)) ms"
check "wire: the box back with its level 140 and its lamp" has_in_order "$work/box2.log" '>B140' '>L000'
check "Alpaca: brightness 140 after the return" until_value 10 140 brightness

kill -INT "$program"
status=0
wait "$program" || status=$?
check "Ctrl-C: the program ends with status 0 ($status)" test "$status" = 0
check "Ctrl-C: the lamp switched off first" has_in_order "$work/box2.log" '>L000' '>D000'
check "Ctrl-C: its log says why" grep -q 'stopping on Ctrl-C' "$work/headless.log"

if [ -n "$screenshots" ]; then
    echo "=== the window at 150%, day and night, for the screenshots (English: without the translation beside it)"
    cp -r "$dist" "$work/dist-en" && rm -f "$work/dist-en/velmoralang_it.qm"
    desktop='HKCU\Control Panel\Desktop'
    $wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
    start_simulator "$work/box3.log"
    (cd "$work/dist-en" && VELMORA_FLAT_EXTRA_PORTS=COM5 exec $wine velmora-flat.exe > "$work/window.log" 2>&1) &
    window=$!
    wait_for_line "$work/window.log" 60 'connection accomplished'
    sleep 3 # the window paints once the connection's message box has gone
    id=$(xdotool search --name 'VELMORA Flat Box - v' | head -n 1)
    import -window "$id" "$screenshots/windows-day.png"
    xdotool mousemove --window "$id" 510 741 click 1 # the night-vision button of the main tab, at 150%
    sleep 2
    import -window "$id" "$screenshots/windows-night.png"
    kill "$window" 2>/dev/null || true
    wait "$window" 2>/dev/null || true
    $wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
fi
$wineserver -k 2>/dev/null || true

echo "=== the installer: $(basename "$setup"), $(du -h "$setup" | cut -f1)"
new_prefix "$out/wine-install" fresh
installed="$WINEPREFIX/drive_c/Program Files/VELMORA/Flat Box"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VELMORA Flat Box'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VELMORA Flat Box.lnk"
$wine "$setup" /S
$wineserver -w
check "silent install: the program in Program Files" test -f "$installed/velmora-flat.exe"
check "silent install: the device library and the Windows platform" test -f "$installed/libvelmora_x64.dll" -a -f "$installed/platforms/qwindows.dll"
check "silent install: no Italian texts unless asked for" test ! -e "$installed/velmoralang_it.qm"
check "silent install: the Start-menu entry" test -f "$shortcut"
$wine reg query "$uninstall_key" > "$work/uninstall.txt" 2>&1 || true
for value in DisplayName DisplayVersion Publisher InstallLocation UninstallString DisplayIcon; do
    check "uninstall entry: $value" grep -q "$value" "$work/uninstall.txt"
done
(cd "$installed" && exec $wine velmora-flat.exe --headless > "$work/installed.log" 2>&1) &
program=$!
port=11111
wait_for_line "$work/installed.log" 60 'Alpaca server:' || true
check "the installed program answers Alpaca" \
    bash -c "curl -s -m 10 http://127.0.0.1:11111/management/v1/configureddevices | grep -q 'VELMORA'"
kill -INT "$program"
wait "$program" || true
$wine reg add 'HKCU\Software\VELMORA\VELMORA Flat Box' /v auto_search /d false /f >/dev/null 2>&1
$wine "$installed/uninstall.exe" /S
$wineserver -w
deadline=$((SECONDS + 30))
while [ -e "$installed/uninstall.exe" ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
$wineserver -w
check "silent uninstall: the folder is gone" test ! -e "$installed" -a ! -e "$(dirname "$installed")"
check "silent uninstall: the Start-menu entry is gone" test ! -e "$shortcut"
check "silent uninstall: the uninstall entry is gone" bash -c "! $wine reg query '$uninstall_key' >/dev/null 2>&1"
check "silent uninstall: the user's settings stay" \
    bash -c "$wine reg query 'HKCU\\Software\\VELMORA\\VELMORA Flat Box' /v auto_search 2>/dev/null | grep -q false"

elsewhere="$WINEPREFIX/drive_c/Astro/FlatBox" # NSIS takes the folder of /D= unquoted, to the end
$wine "$setup" /S '/D=C:\Astro\FlatBox'
$wineserver -w
check "silent install with /D=: the program in the folder given" test -f "$elsewhere/velmora-flat.exe"
$wine "$elsewhere/uninstall.exe" /S
$wineserver -w
deadline=$((SECONDS + 30))
while [ -e "$elsewhere/uninstall.exe" ] && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
check "silent uninstall from that folder: nothing left in it" test ! -e "$elsewhere"
$wineserver -k 2>/dev/null || true

echo "Totals: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
