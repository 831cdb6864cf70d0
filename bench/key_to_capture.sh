#!/usr/bin/env bash
# From a hotkey press to the opening of the capture stream, against the real
# binary on a private headless desktop whose default source is PulseAudio's
# sine source (it delivers at once). The press is timed just before xdotool
# runs, the opening as the server announces it; the first buffer follows
# within BM_CaptureStartToFirstBuffer's last step.
# Usage: bench/key_to_capture.sh [build dir, default build] [rounds, default 20]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-20}
. scripts/lib/headless.sh
headless_start || exit 1
pactl load-module module-sine-source source_name=sine >/dev/null
pactl set-default-source sine
mkdir -p "$XDG_CONFIG_HOME/sayvo"
echo '{"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false}' \
    >"$XDG_CONFIG_HOME/sayvo/preferences.json"
"$build/sayvo" 2>"$headless_scratch/sayvo.log" &
headless_pids+=($!)
sleep 3

now_ns() { date +%s%N; }
# Each new record stream, stamped as it is announced.
# (A subshell of its own: the pipeline ends with the sound server, at exit.)
(pactl subscribe | while IFS= read -r line; do
    case $line in *"'new' on source-output"*) echo "$(now_ns)" ;; esac
done >"$headless_scratch/opened") &
headless_pids+=($!)
sleep 0.5

delays=()
for round in $(seq "$rounds"); do
    before=$(wc -l <"$headless_scratch/opened")
    pressed=$(now_ns)
    xdotool keydown Alt_L keydown space
    for _ in $(seq 300); do
        [ "$(wc -l <"$headless_scratch/opened")" -gt "$before" ] && break
        sleep 0.01
    done
    opened=$(tail -n1 "$headless_scratch/opened")
    [ "$(wc -l <"$headless_scratch/opened")" -gt "$before" ] &&
        delays+=($(((opened - pressed) / 1000000)))
    sleep 0.5
    xdotool keyup space keyup Alt_L
    sleep 1.5
done
sorted=($(printf '%s\n' "${delays[@]}" | sort -n))
echo "key press to capture stream: median ${sorted[$((${#sorted[@]} / 2))]} ms," \
    "fastest ${sorted[0]} ms, slowest ${sorted[-1]} ms over ${#sorted[@]} of $rounds presses"
