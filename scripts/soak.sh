#!/usr/bin/env bash
# Runs full dictations against the real binary on a private headless desktop
# (the cloud engine against the project's mock service) and reports the
# process's memory, descriptors and threads after cycle 10 and after the last,
# and every cycle that did not paste the expected text; the time from each key
# release to the text in the entry; then, after --idle seconds of rest (60 by
# default, 0 for none), the process's wakeups per second over them and its
# memory against that after the first dictation.
#   scripts/soak.sh [--cycles N] [--engine system|cloud] [--build DIR] [--idle S] [--strict]
# --strict fails on a lost dictation or on any growth in descriptors or threads.
set -uo pipefail
cd "$(dirname "$0")/.."

cycles=20 engine=system build=build strict=0 idle=60
while [ $# -gt 0 ]; do
    case $1 in
        --cycles) cycles=$2; shift 2 ;;
        --engine) engine=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --idle) idle=$2; shift 2 ;;
        --strict) strict=1; shift ;;
        *) echo "usage: $0 [--cycles N] [--engine system|cloud] [--build DIR] [--idle S] [--strict]"; exit 2 ;;
    esac
done
[ "$cycles" -ge 10 ] || { echo "soak: at least 10 cycles"; exit 2; }

. scripts/lib/headless.sh
headless_start || exit 1
speech=/usr/share/pocketsphinx/test/data/goforward.raw
words="go forward ten meters"
mkdir -p "$XDG_CONFIG_HOME/sayvo"
preferences='"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false'
binary=$build/sayvo
if [ "$engine" = cloud ]; then
    port=$(sed -n 's/^SAYVO_MOCK_ASR_PORT:STRING=//p' "$build/CMakeCache.txt")
    "$build/tests/mock/sayvo_mock_asr" --port "$port" --key soak-key >/dev/null &
    headless_pids+=($!)
    preferences="$preferences, \"AliyunASRAPIKey\": \"soak-key\""
    binary=$build/sayvo_with_mock_asr
fi
echo "{$preferences}" >"$XDG_CONFIG_HOME/sayvo/preferences.json"

# The application dictated into: a GTK entry that prints its text at each
# change, read here the moment it does.
mkfifo "$headless_scratch/entry"
/usr/bin/python3 tests/e2e/desktop.py entry >"$headless_scratch/entry" &
headless_pids+=($!)
exec 4<"$headless_scratch/entry"
"$binary" 2>"$headless_scratch/sayvo.log" &
sayvo=$!
headless_pids+=($sayvo)
read -r -t 10 -u 4 entry
for _ in $(seq 100); do  # Sayvo is up once its indicator exists, unmapped
    xdotool search --pid "$sayvo" --name "^Sayvo indicator$" >/dev/null && break
    sleep 0.1
done

usage() {  # RSS in kB, descriptors, threads
    echo "$(awk '/VmRSS/ {print $2}' "/proc/$sayvo/status") $(ls "/proc/$sayvo/fd" | wc -l) $(ls "/proc/$sayvo/task" | wc -l)"
}
# Every wakeup of a thread is a context switch: "thread count", one per thread.
switches() {
    for task in /proc/"$sayvo"/task/*; do
        echo "${task##*/} $(awk '/ctxt_switches/ {n += $2} END {print n}' "$task/status")"
    done
}
lost=0 at10="" first="" delays=()
for cycle in $(seq "$cycles"); do
    xdotool windowfocus --sync "$entry" key ctrl+a BackSpace
    while read -r -t 0.2 -u 4 _; do :; done  # the emptied entry
    xdotool keydown Alt_L keydown space
    for _ in $(seq 50); do
        xdotool search --onlyvisible --pid "$sayvo" --name "^Sayvo indicator$" >/dev/null && break
        sleep 0.1
    done
    tail -c +14401 "$speech" | paplay -d mic --raw --format=s16le --rate=16000 --channels=1
    sleep 1
    released=${EPOCHREALTIME/./}  # µs, before xdotool starts: an upper bound
    xdotool keyup space keyup Alt_L
    got=""
    while read -r -t 5 -u 4 got; do [ "$got" = "$words" ] && break; done
    [ "$got" = "$words" ] && delays+=($(((${EPOCHREALTIME/./} - released) / 1000)))
    if [ "$got" != "$words" ]; then
        echo "cycle $cycle: lost, the entry reads \"$got\""
        lost=$((lost + 1))
    fi
    sleep 1  # the indicator goes, the connection closes
    [ "$cycle" -eq 1 ] && first=$(usage)
    [ "$cycle" -eq 10 ] && at10=$(usage)
done
last=$(usage)
read -r rss10 fd10 threads10 <<<"$at10"
read -r rss fd threads <<<"$last"
# The tests' one format for a number, each named after this soak's engine.
measure() { echo "MEASURE: soak_${engine}_$1 = $2 $3"; }
measure rss_after_cycle_10 "$rss10" kB
measure rss_after_last_cycle "$rss" kB
measure descriptors_after_cycle_10 "$fd10" count
measure descriptors_after_last_cycle "$fd" count
measure threads_after_cycle_10 "$threads10" count
measure threads_after_last_cycle "$threads" count
measure lost_dictations "$lost" count
if [ ${#delays[@]} -gt 0 ]; then
    sorted=($(printf '%s\n' "${delays[@]}" | sort -n))
    measure release_to_text_median "${sorted[$((${#sorted[@]} / 2))]}" ms
    measure release_to_text_slowest "${sorted[-1]}" ms
fi
if [ "$idle" -gt 0 ]; then
    before=$(switches)
    sleep "$idle"
    read -r rss1 _ <<<"$first"
    read -r rssIdle _ <<<"$(usage)"
    # Threads that came or went meanwhile count only while they existed.
    woken=$(awk 'NR == FNR {n[$1] = $2; next} $1 in n {w += $2 - n[$1]} END {print w + 0}' \
        <(echo "$before") <(switches))
    measure idle_wakeups "$(awk -v n="$woken" -v s="$idle" 'BEGIN {printf "%.2f", n / s}')" /s
    measure rss_after_first_cycle "$rss1" kB
    measure rss_after_idle "$rssIdle" kB
fi
if [ "$strict" -eq 1 ] && { [ "$lost" -gt 0 ] || [ "$fd" -gt "$fd10" ] || [ "$threads" -gt "$threads10" ]; }; then
    echo "soak: FAILED"
    exit 1
fi
