#!/usr/bin/env bash
# Sets up a fresh machine, builds, and starts velmora-flat. When no box (USB vendor 2341) is plugged in, a
# simulated box is started on a pseudo-terminal and offered to the program; it stops when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh -- velmora-flat velmora-flatbox-sim velmora_translation_placement

box_attached() {
    grep -qs '^2341$' /sys/class/tty/*/device/../idVendor /sys/class/tty/*/device/../../idVendor
}

if box_attached; then
    exec build/velmora-flat "$@"
fi

echo "No VELMORA box found: starting the box simulator."
coproc SIM { exec build/tools/flatbox-sim/velmora-flatbox-sim; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r sim_port <&"${SIM[0]}"
echo "Simulated box on $sim_port: press \"Connect Now\" on the settings tab, or Connect on the main tab."
VELMORA_FLAT_EXTRA_PORTS="$sim_port" build/velmora-flat "$@"
