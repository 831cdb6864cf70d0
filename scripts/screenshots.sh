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

. scripts/lib/headless.sh
headless_start
xsetroot -solid "#4c566a"
xcompmgr -n &
headless_pids+=($!)

# Alt+Space as the hotkey: Xvfb's keymap has no Fn key.
mkdir -p "$XDG_CONFIG_HOME/sayvo"
echo '{"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false}' \
    >"$XDG_CONFIG_HOME/sayvo/preferences.json"
build/sayvo >"$headless_scratch/sayvo.log" 2>&1 &
headless_pids+=($!)
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
# Mid-sentence, while the bars still follow the voice.
headless_speak /usr/share/pocketsphinx/test/data/goforward.raw &
sleep 2.3
shoot text
wait $!
xdotool keyup space keyup alt
sleep 2

# Without a sound server the recording cannot start: the placeholder stays.
pulseaudio --kill
headless_pulse=""
sleep 0.5
xdotool keydown alt keydown space
sleep 0.8
shoot placeholder
xdotool keyup space keyup alt
