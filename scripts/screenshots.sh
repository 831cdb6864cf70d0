#!/usr/bin/env bash
# Takes the README's pictures from the real application: the indicator
# waiting for the first words, showing the text, and the error of a
# recording that could not start; the tray panel without a key, entering one,
# with one stored, capturing a hotkey, and in a dark theme (started at
# login). Runs on its own X server (with a compositor, so the shadow and
# rounded corners show, and a tray to right-click) and sound server.
# Usage: scripts/screenshots.sh [output dir, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
mkdir -p "$out"

scripts/install-deps.sh test
missing=()
for p in imagemagick xcompmgr x11-xserver-utils trayer; do
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
# An XEmbed tray in the top right corner, as on many desktops.
trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x2e3440 &
headless_pids+=($!)
sleep 1

# Alt+Space as the hotkey: Xvfb's keymap has no Fn key.
mkdir -p "$XDG_CONFIG_HOME/sayvo"
echo '{"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false}' \
    >"$XDG_CONFIG_HOME/sayvo/preferences.json"
start_sayvo() {
    build/sayvo >>"$headless_scratch/sayvo.log" 2>&1 &
    sayvo_pid=$!
    headless_pids+=($sayvo_pid)
    sleep 2
}
restart_sayvo() {  # preferences
    kill "$sayvo_pid"
    wait "$sayvo_pid" 2>/dev/null || true
    echo "$1" >"$XDG_CONFIG_HOME/sayvo/preferences.json"
    start_sayvo
}
alt_space='"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false'
start_sayvo

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

# The panel, opened with a right click on the tray icon and driven from the
# keyboard as a user would, with a little of the desktop around it.
shoot_panel() {  # name
    local geometry
    geometry=$(xwininfo -name "Sayvo panel" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF}
        END {print w + 24 "x" h + 24 "+" x - 12 "+" y - 12}')
    import -window root -crop "$geometry" +repage "$out/panel-$1.png"
    echo "$out/panel-$1.png"
}
open_panel() {
    local icon
    # The icon is the square one: a notification balloon has the same name.
    icon=$(xwininfo -root -tree | awk '/"Sayvo": \("sayvo"/ {
        split($(NF-1), size, /[x+]/); if (size[1] == size[2]) {print $NF; exit} }')
    xdotool mousemove $(awk -F+ '{print $2 + 11, $3 + 11}' <<<"$icon") click 3
    xdotool mousemove 640 400
    sleep 0.8
}

open_panel
shoot_panel no-key
xdotool key Tab space  # the pencil
sleep 0.3
xdotool type --delay 20 "sk-7f3a9c2e41d8b605"
sleep 0.3
shoot_panel editing
xdotool key Return Tab space  # save, then the checkmark
sleep 0.4
shoot_panel key
xdotool key Tab Tab space  # the hotkey button
sleep 0.3
xdotool keydown ctrl keydown alt
sleep 0.4
shoot_panel capturing
xdotool keyup alt keyup ctrl key Escape
sleep 0.2
xdotool key Escape

# Without a sound server the recording cannot start: the error shows.
# Without the key, so the cloud service is never tried.
restart_sayvo "{$alt_space}"
pulseaudio --kill
headless_pulse=""
sleep 0.5
xdotool keydown alt keydown space
sleep 0.8
shoot error
xdotool keyup space keyup alt

# The same desktop in a dark theme, through Qt's GTK platform theme, with
# Sayvo started at login.
mkdir -p "$XDG_CONFIG_HOME/autostart"
printf '[Desktop Entry]\nType=Application\nName=Sayvo\nExec=sayvo\n' \
    >"$XDG_CONFIG_HOME/autostart/app.sayvo.Sayvo.desktop"
QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark \
    restart_sayvo "{$alt_space, \"AliyunASRAPIKey\": \"sk-7f3a9c2e41d8b605\"}"
open_panel
shoot_panel dark
