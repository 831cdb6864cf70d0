#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests (also under ASan/UBSan and
# TSan), Linux backend tests and end-to-end tests. Starts the X server the
# tests need and stops it afterwards. Extra arguments go to every ctest run
# (for example: -L unit).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh test || exit 1

jobs=$(nproc)
configure() {  # dir, extra cmake args...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || {
        cat "$dir.configure.log"
        return 1
    }
}

echo "== build"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo || exit 1
cmake --build build -j "$jobs" || exit 1
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DSAYVO_BUILD_LINUX=OFF \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" || exit 1
cmake --build build-asan -j "$jobs" || exit 1
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DSAYVO_BUILD_LINUX=OFF \
    "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" || exit 1
cmake --build build-tsan -j "$jobs" || exit 1

# The services the backend and end-to-end tests talk to, private to this run.
scratch=$(mktemp -d)
xvfb_pid=""
pulse_started=""
cleanup() {
    [ -n "$pulse_started" ] && pulseaudio --kill 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

exec 3<> "$scratch/displayfd"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 100); do
    display=$(head -n1 "$scratch/displayfd" 2>/dev/null)
    [ -n "$display" ] && break
    sleep 0.1
done
exec 3>&-
if [ -z "$display" ]; then
    echo "Xvfb did not start:"
    cat "$scratch/xvfb.log"
    exit 1
fi
export DISPLAY=":$display"
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software
unset DBUS_SESSION_BUS_ADDRESS

# A headless sound server whose default source is the monitor of a null sink
# named "mic": what the tests play into "mic", Sayvo hears as its microphone.
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse" HOME="${HOME:-$scratch}"
unset PULSE_SERVER
if ! pulseaudio --daemonize=yes --exit-idle-time=-1 -n --log-target=file:"$scratch/pulse.log" \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=mic format=float32le rate=48000 channels=1" 2>>"$scratch/pulse.log"; then
    echo "PulseAudio did not start:"
    cat "$scratch/pulse.log"
    exit 1
fi
pulse_started=1
# Every client, Sayvo under its own runtime directory included, finds this server.
export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
pactl set-default-source mic.monitor || exit 1

passed=0
failed=0
run_ctest() {  # name, build dir, ctest args...
    local name=$1 dir=$2
    shift 2
    echo "== $name"
    local log
    log="$scratch/$(tr -c 'A-Za-z0-9' '_' <<<"$name").log"
    (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
    if [ -z "$line" ]; then
        grep -q "No tests were found" "$log" && return
        failed=$((failed + 1))
        return
    fi
    local bad total
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

run_ctest "all tests" build "$@"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest "unit tests under ASan/UBSan" build-asan -L unit "$@"
TSAN_OPTIONS=halt_on_error=1 run_ctest "unit tests under TSan" build-tsan -L unit "$@"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
