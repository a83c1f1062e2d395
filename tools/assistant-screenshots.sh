#!/bin/bash
# The assistant's window after a run on INDI's simulators and the project's test camera, by day and at night.
# Usage: tools/assistant-screenshots.sh BUILD_DIR OUT_PREFIX (writes OUT_PREFIX-day.png and OUT_PREFIX-night.png)
set -u
build=$1; prefix=$2
port=$((17000 + RANDOM % 1000))
export VELMORA_TEST_CCD_LIGHT="Light Panel Simulator" VELMORA_TEST_CCD_TIME_SCALE=20
export HOME=$(mktemp -d)
indiserver -p $port $build/tests/assistant/testcamera/indi_velmora_test_ccd indi_simulator_lightpanel indi_simulator_wheel \
    > $HOME/indiserver.log 2>&1 &
server=$!
sleep 2
for device in "Filter Simulator" "Light Panel Simulator" "Model Camera"; do
    indi_setprop -p $port "$device.CONNECTION.CONNECT=On"
done
sleep 2
for mode in day night; do
    night=""; [ $mode = night ] && night="--night"
    xvfb-run -a -s "-screen 0 1300x840x24" bash -c "
        $build/assistant/cli/velmora-flat-assistant --gui $night --indi 127.0.0.1:$port --camera 'Model Camera' \
            --light 'Light Panel Simulator' --wheel 'Filter Simulator' --filters Luminance,Green,Blue,Red \
            --exposure 0.1 --min-exposure 0.025 --max-exposure 3 > $HOME/gui-$mode.log 2>&1 &
        gui=\$!
        for i in \$(seq 50); do xdotool search --name 'VELMORA Flat Assistant' >/dev/null 2>&1 && break; sleep 0.2; done
        sleep 1
        window=\$(xdotool search --name 'VELMORA Flat Assistant' | head -1)
        eval \$(xdotool getwindowgeometry --shell \$window)
        # Start is the first of the buttons at the bottom left.
        xdotool mousemove \$((X + 40)) \$((Y + HEIGHT - 45)) click 1
        sleep 45
        import -window root $prefix-$mode.png
        kill \$gui
    "
done
kill $server
