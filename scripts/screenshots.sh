#!/usr/bin/env bash
# Takes the README's pictures from the real application, in one language:
# the indicator waiting, showing text and failing to start; the panel without
# a key, entering one, with one stored, capturing a hotkey, and dark (started
# at login). On a desktop of its own, with an XEmbed tray to right-click and
# a screen reader's bus to press the controls through, as the end-to-end tests do.
# Usage: scripts/screenshots.sh BUILD_DIR zh|en OUTPUT_DIR
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 BUILD_DIR zh|en OUTPUT_DIR" >&2; exit 2; }
sayvo=$(realpath "$1")/sayvo
out=$(realpath -m "$3")
case "$2" in
    zh) export LANGUAGE=zh_CN; edit="编辑 API Key" save="保存 API Key" hotkey="更改快捷键" login="开机启动" ;;
    en) export LANGUAGE=en_US; edit="Edit API key" save="Save API key" hotkey="Change hotkey" login="Start at login" ;;
    *) echo "language: zh or en" >&2; exit 2 ;;
esac
mkdir -p "$out"
cd "$(dirname "$0")/.."
. scripts/lib/headless.sh
headless_start
xsetroot -solid "#6b7280"
trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x2e3440 &
headless_pids+=($!)

retry() { for _ in $(seq 50); do "$@" && return; sleep 0.1; done; echo "failed: $*" >&2; return 1; }

# A bus that activates nothing, so no keyring starts and the key stays in the
# file; the screen reader's bus hangs off it.
cat >"$headless_scratch/bus.conf" <<EOF
<busconfig><type>session</type><listen>unix:dir=$headless_scratch</listen>
<policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy></busconfig>
EOF
dbus-daemon --config-file="$headless_scratch/bus.conf" --nofork --print-address=1 \
    >"$headless_scratch/bus" 2>/dev/null &
headless_pids+=($!)
retry test -s "$headless_scratch/bus"
export DBUS_SESSION_BUS_ADDRESS=$(cat "$headless_scratch/bus") QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
/usr/libexec/at-spi-bus-launcher --launch-immediately &
headless_pids+=($!)

shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null; }
hidden() { ! shown "$1"; }
press() {  # role name
    retry /usr/bin/python3 tests/e2e/desktop.py press "$sayvo_pid" "$1" "$2" >/dev/null
}
# Where the icon is: the square window, as a balloon has its name too.
tray_icon() {
    xwininfo -root -tree | awk '/"Sayvo": \("sayvo"/ {
        split($(NF-1), size, /[x+]/); if (size[1] == size[2]) {print $NF; found = 1; exit} }
        END {exit !found}'
}
start() {  # preference members, each after a comma
    [ -n "${sayvo_pid:-}" ] && kill "$sayvo_pid" && wait "$sayvo_pid" 2>/dev/null || true
    mkdir -p "$XDG_CONFIG_HOME/sayvo"
    echo "{\"hotkeyKeyCode\": 49, \"hotkeyModifiers\": 524288, \"hotkeyIsFnKey\": false$1}" \
        >"$XDG_CONFIG_HOME/sayvo/preferences.json"
    "$sayvo" >>"$headless_scratch/sayvo.log" 2>&1 &
    sayvo_pid=$!
    headless_pids+=($sayvo_pid)
    retry tray_icon >/dev/null
    sleep 0.5
}
# The window with a margin around it (a negative one cuts into it).
shoot() {  # window name, file, margin
    local m=$3
    retry shown "$1"
    sleep 0.3
    import -window root -crop "$(xwininfo -name "$1" | awk -v m="$m" '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /Width:/ {w=$NF} /Height:/ {h=$NF}
        END {print w + 2*m "x" h + 2*m "+" x - m "+" y - m}')" +repage -strip "$out/$2.png"
    echo "$out/$2.png"
}
open_panel() {  # a right click on the icon
    xdotool mousemove $(tray_icon | awk -F+ '{print $2 + 11, $3 + 11}') click 3 mousemove 640 400
    retry shown "Sayvo panel"
}

# Without a compositor there is no shadow: of the indicator's 40 px margin
# for it, 12 px are kept, as around the panel.
indicator=-28
start ""
xdotool keydown alt keydown space
shoot "Sayvo indicator" indicator-waiting $indicator
# Mid-sentence, while the bars still follow the voice.
headless_speak /usr/share/pocketsphinx/test/data/goforward.raw &
sleep 1.2
shoot "Sayvo indicator" indicator-text $indicator
wait $!
xdotool keyup space keyup alt
retry hidden "Sayvo indicator"

open_panel
shoot "Sayvo panel" panel-no-key 12
press "push button" "$edit"
xdotool type --delay 20 "sk-7f3a9c2e41d8b605"
shoot "Sayvo panel" panel-editing 12
press "push button" "$save"
shoot "Sayvo panel" panel-key 12
press "push button" "$hotkey"
xdotool keydown ctrl keydown alt
shoot "Sayvo panel" panel-capturing 12
xdotool keyup alt keyup ctrl key Escape key Escape

# No key, and no on-device model where Sayvo is told to look: the recording
# cannot start.
SAYVO_TEST_MODEL_DIRECTORY=/usr/local/share/pocketsphinx/model/en-us start ""
xdotool keydown alt keydown space
sleep 0.8
shoot "Sayvo indicator" indicator-error $indicator
xdotool keyup space keyup alt

# Dark through Qt's GTK platform theme, as on a dark GNOME.
QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark start ', "AliyunASRAPIKey": "sk-7f3a9c2e41d8b605"'
open_panel
press "check box" "$login"
shoot "Sayvo panel" panel-dark 12
if command -v optipng >/dev/null; then optipng -quiet "$out"/*.png; fi
