#!/usr/bin/env bash
# What the indicator costs on a real X server, with the cloud engine against
# the local mock service: memory after start and after a dictation, CPU while
# dictating (about 10 s of speech), and wakeups once idle again.
# SAYVO_BENCH_ENGINE=device dictates to the on-device recogniser instead.
# Usage: bench/indicator_costs.sh [build dir, default build] (after building it)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
idle_seconds=${SAYVO_IDLE_SECONDS:-60}
. scripts/lib/headless.sh
headless_start

port=$(sed -n 's/^SAYVO_MOCK_ASR_PORT:STRING=//p' "$build/CMakeCache.txt")
"$build/tests/mock/sayvo_mock_asr" --port "$port" --key bench-key >"$headless_scratch/mock.log" &
headless_pids+=($!)
mkdir -p "$XDG_CONFIG_HOME/sayvo"
key='"AliyunASRAPIKey": "bench-key"'
[ "${SAYVO_BENCH_ENGINE:-cloud}" = device ] && key='"AliyunASRAPIKey": ""'
echo "{\"hotkeyKeyCode\": 49, \"hotkeyModifiers\": 524288, \"hotkeyIsFnKey\": false, $key}" \
    >"$XDG_CONFIG_HOME/sayvo/preferences.json"
"$build/sayvo_with_mock_asr" 2>"$headless_scratch/sayvo.log" &
pid=$!
headless_pids+=("$pid")
sleep 3

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$pid/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
# Context switches per thread, "tid count"; threads that come and go are
# compared only while they exist.
switches() {
    for task in /proc/"$pid"/task/*; do
        echo "${task##*/} $(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null)"
    done
}

echo "rss_after_start_kB $(rss_kb)"

ticks_per_second=$(getconf CLK_TCK)
start_ticks=$(cpu_ticks)
start_ns=$(date +%s%N)
xdotool keydown alt keydown space
for clip in 0870 0880; do
    headless_speak /usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-$clip.wav
done
xdotool keyup space keyup alt
end_ticks=$(cpu_ticks)
end_ns=$(date +%s%N)
awk -v t=$((end_ticks - start_ticks)) -v hz="$ticks_per_second" -v ns=$((end_ns - start_ns)) \
    'BEGIN {printf "cpu_while_dictating_percent %.1f (over %.1f s)\n", 100 * t / hz / (ns / 1e9), ns / 1e9}'

sleep 3
echo "rss_after_dictation_kB $(rss_kb)"
xwininfo -name "Sayvo indicator" | grep -q IsUnMapped && echo "indicator hidden"

before=$(switches)
sleep "$idle_seconds"
after=$(switches)
join <(sort <<<"$before") <(sort <<<"$after") |
    awk -v s="$idle_seconds" '{n += $3 - $2} END {printf "idle_wakeups %d in %d s (%.2f/s)\n", n, s, n / s}'
