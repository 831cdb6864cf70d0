#!/usr/bin/env bash
# Takes the README's pictures of the indicator from the real application:
# waiting for the first words, showing the text, and the placeholder after a
# recording that could not start. Runs on its own X server (with a compositor,
# so the panel's shadow and rounded corners show) and sound server.
# Usage: scripts/screenshots.sh [output dir, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"

scripts/install-deps.sh test
missing=()
for p in imagemagick xcompmgr x11-xserver-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target sayvo

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    pulseaudio --kill 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

exec 3<>"$scratch/displayfd"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
    display=$(head -n1 "$scratch/displayfd" 2>/dev/null || true)
    [ -n "$display" ] && break
    sleep 0.1
done
exec 3>&-
[ -n "$display" ] || { cat "$scratch/xvfb.log"; exit 1; }
export DISPLAY=":$display"
xsetroot -solid "#4c566a"
xcompmgr -n &
pids+=($!)

export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/sayvo"
export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
pulseaudio --daemonize=yes --exit-idle-time=-1 -n --log-target=file:"$scratch/pulse.log" \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=mic format=float32le rate=48000 channels=1"
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
pactl set-default-source mic.monitor

# Alt+Space as the hotkey: Xvfb's keymap has no Fn key.
echo '{"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false}' \
    >"$XDG_CONFIG_HOME/sayvo/preferences.json"
build/sayvo >"$scratch/sayvo.log" 2>&1 &
pids+=($!)
sleep 2

# The indicator's window with a little of the desktop around it.
shoot() {  # name
    local geometry
    geometry=$(xwininfo -name "Sayvo indicator" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$out/indicator-$1.png"
    echo "$out/indicator-$1.png"
}

xdotool keydown alt keydown space
sleep 0.8
shoot waiting
paplay -d mic --raw --format=s16le --rate=16000 --channels=1 \
    /usr/share/pocketsphinx/test/data/goforward.raw
sleep 0.6
shoot text
xdotool keyup space keyup alt
sleep 2

# Without a sound server the recording cannot start: the placeholder stays.
pulseaudio --kill
sleep 0.5
xdotool keydown alt keydown space
sleep 0.8
shoot placeholder
xdotool keyup space keyup alt
