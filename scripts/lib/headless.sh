# A private desktop for scripts that drive the real application: an X server
# and a sound server whose default source is the monitor of a null sink named
# "mic" (what is played into "mic", Sayvo hears as its microphone).
# Source it, then call headless_start; everything stops on exit.
# Sets DISPLAY, XDG_RUNTIME_DIR, XDG_CONFIG_HOME, PULSE_SERVER and
# headless_scratch (a directory removed at exit).

headless_pids=()
headless_pulse=""
headless_scratch=$(mktemp -d)

headless_stop() {
    for pid in "${headless_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    [ -n "$headless_pulse" ] && pulseaudio --kill 2>/dev/null
    rm -rf "$headless_scratch"
}
trap headless_stop EXIT

headless_start() {
    exec 3<>"$headless_scratch/displayfd"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >"$headless_scratch/xvfb.log" 2>&1 &
    headless_pids+=($!)
    local display=""
    for _ in $(seq 100); do
        display=$(head -n1 "$headless_scratch/displayfd" 2>/dev/null)
        [ -n "$display" ] && break
        sleep 0.1
    done
    exec 3>&-
    if [ -z "$display" ]; then
        echo "Xvfb did not start:"
        cat "$headless_scratch/xvfb.log"
        return 1
    fi
    export DISPLAY=":$display"
    export XDG_RUNTIME_DIR="$headless_scratch/runtime" XDG_CONFIG_HOME="$headless_scratch/config"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME"
    export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software
    unset DBUS_SESSION_BUS_ADDRESS

    export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse" HOME="${HOME:-$headless_scratch}"
    unset PULSE_SERVER
    if ! pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
        --log-target=file:"$headless_scratch/pulse.log" --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=mic format=float32le rate=48000 channels=1" \
        2>>"$headless_scratch/pulse.log"; then
        echo "PulseAudio did not start:"
        cat "$headless_scratch/pulse.log"
        return 1
    fi
    headless_pulse=1
    # Every client, Sayvo under its own runtime directory included, finds this server.
    export PULSE_SERVER="unix:$PULSE_RUNTIME_PATH/native"
    pactl set-default-source mic.monitor
    # A real microphone delivers from the moment it is opened; the monitor of
    # an idle null sink holds a new stream's first audio back by about 1.5 s.
    # A steady stream of silence keeps "mic" running like a live microphone.
    pacat --playback -d mic --raw --format=s16le --rate=16000 --channels=1 \
        --latency-msec=20 </dev/zero &
    headless_pids+=($!)
    for _ in $(seq 50); do
        [ "$(timeout 0.2 parec -d mic.monitor --latency-msec=20 2>/dev/null | head -c 64 | wc -c)" = 64 ] &&
            return 0
    done
    echo "The test microphone does not deliver audio:"
    cat "$headless_scratch/pulse.log"
    return 1
}

# Plays 16 kHz mono s16le audio (or a WAV file) into the microphone.
headless_speak() {
    case "$1" in
        *.wav) paplay -d mic "$1" ;;
        *) paplay -d mic --raw --format=s16le --rate=16000 --channels=1 "$1" ;;
    esac
}
