# A GNOME Wayland desktop for scripts that drive the real application:
# gnome-shell, headless, with XWayland, the media-keys daemon (custom
# keyboard shortcuts) and the desktop portals, on a session bus and an empty
# system bus of its own. Source it after headless.sh and headless_start, then
# call gnome_start; everything stops on exit, before headless.sh's own
# cleanup. Sets WAYLAND_DISPLAY, DISPLAY and XAUTHORITY (XWayland's),
# DBUS_SESSION_BUS_ADDRESS, DBUS_SYSTEM_BUS_ADDRESS, HOME, XDG_RUNTIME_DIR,
# XDG_CONFIG_HOME, XDG_CURRENT_DESKTOP and XDG_SESSION_TYPE, and
# gnome_started_in (seconds). PULSE_SERVER still names headless.sh's sound
# server.

gnome_dir=""

# Every process of the stack carries gnome_stack in its environment, so that
# the helpers the buses start on demand are found too.
gnome_pids() {
    [ -n "$gnome_dir" ] || return 0
    { grep -lsxzF "gnome_stack=$gnome_dir" /proc/[0-9]*/environ || :; } | cut -d/ -f3
}

gnome_stop() {
    [ -n "$gnome_dir" ] || return 0
    local pids left
    pids=$(gnome_pids)
    [ -n "$pids" ] && kill $pids 2>/dev/null
    for _ in $(seq 50); do
        left=$(gnome_pids)
        [ -z "$left" ] && break
        sleep 0.1
    done
    [ -n "$left" ] && kill -KILL $left 2>/dev/null
    if mountpoint -q "$gnome_dir/runtime/doc"; then
        fusermount3 -u "$gnome_dir/runtime/doc" 2>/dev/null || umount -l "$gnome_dir/runtime/doc"
    fi
    return 0
}

eval "gnome_next_trap=($(trap -p EXIT))"
trap "gnome_stop; ${gnome_next_trap[2]:-}" EXIT
unset gnome_next_trap

# Runs the rest of its arguments every 100 ms until they succeed, for at most
# 20 s; says what did not come up and shows the log otherwise.
gnome_wait() {
    local what=$1 log=$2
    shift 2
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "$what did not come up:"
    tail -n 30 "$gnome_dir/$log"
    return 1
}

gnome_on_bus() {  # name, object, interface
    timeout 3 gdbus introspect --session -d "$1" -o "$2" | grep -q "interface $3 "
}

gnome_overview() {  # Get, or Set with a value
    timeout 3 gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell \
        -m "org.freedesktop.DBus.Properties.$1" org.gnome.Shell OverviewActive ${2:+"$2"}
}

# The start-up animation ends in the overview, whose search field would take
# every key and the focus of every new window: closed once it has opened.
gnome_overview_off() {
    gnome_overview Get | grep -q true || return 1
    gnome_overview Set '<false>' >/dev/null && sleep 0.3 && gnome_overview Get | grep -q false
}

gnome_xwayland() {
    local pid
    for pid in $(pgrep -x Xwayland); do
        grep -qsxzF "gnome_stack=$gnome_dir" "/proc/$pid/environ" || continue
        DISPLAY=$(tr '\0' '\n' <"/proc/$pid/cmdline" | grep -m1 '^:')
        XAUTHORITY=$(tr '\0' '\n' <"/proc/$pid/cmdline" | grep -A1 -x -- -auth | tail -n1)
        [ -n "$DISPLAY" ]
        return
    done
    return 1
}

gnome_start() {
    local started=${EPOCHREALTIME//[.,]/}
    gnome_stop
    gnome_dir=$headless_scratch/gnome
    rm -rf "$gnome_dir"
    mkdir -p "$gnome_dir/home/.config" "$gnome_dir/portals"
    mkdir -p -m 700 "$gnome_dir/runtime"
    export HOME=$gnome_dir/home XDG_CONFIG_HOME=$gnome_dir/home/.config
    export XDG_RUNTIME_DIR=$gnome_dir/runtime WAYLAND_DISPLAY=wayland-gnome
    # Before the session bus starts: the portal picks its backends by it.
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    unset DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
    local stack=(env gnome_stack="$gnome_dir")
    [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix

    # gnome-shell ends without a system bus; an empty one of our own serves.
    cat >"$gnome_dir/system.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>custom</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
    "${stack[@]}" dbus-daemon --config-file="$gnome_dir/system.conf" --nofork --print-address=1 \
        >"$gnome_dir/system-bus" 2>"$gnome_dir/dbus.log" &
    "${stack[@]}" dbus-daemon --session --nofork --print-address=1 \
        --address="unix:path=$XDG_RUNTIME_DIR/bus" >"$gnome_dir/bus" 2>>"$gnome_dir/dbus.log" &
    gnome_wait "The buses" dbus.log test -s "$gnome_dir/bus" -a -s "$gnome_dir/system-bus" || return
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$gnome_dir/bus")
    DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$gnome_dir/system-bus")
    export DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS
    # GNOME's portal backends only, before anything starts the portal: it
    # would borrow an interface GNOME lacks (GlobalShortcuts before 48) from
    # any other installed one.
    local portal
    for portal in gnome gnome-shell gtk; do
        [ ! -f "/usr/share/xdg-desktop-portal/portals/$portal.portal" ] ||
            cp "/usr/share/xdg-desktop-portal/portals/$portal.portal" "$gnome_dir/portals/"
    done
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.UpdateActivationEnvironment \
        "{'XDG_DESKTOP_PORTAL_DIR': '$gnome_dir/portals'}" >/dev/null

    "${stack[@]}" gnome-shell --wayland --headless --virtual-monitor 1280x800 \
        --wayland-display "$WAYLAND_DISPLAY" >"$gnome_dir/shell.log" 2>&1 &
    gnome_wait "gnome-shell" shell.log grep -q "GNOME Shell started" "$gnome_dir/shell.log" || return
    gnome_wait "The desktop (overview off)" shell.log gnome_overview_off || return
    # XWayland's display and cookie, from its command line: mutter announces neither.
    gnome_wait "XWayland" shell.log gnome_xwayland || return
    export DISPLAY XAUTHORITY
    gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.UpdateActivationEnvironment \
        "{'DISPLAY': '$DISPLAY', 'XAUTHORITY': '$XAUTHORITY', 'WAYLAND_DISPLAY': '$WAYLAND_DISPLAY'}" \
        >/dev/null

    GDK_BACKEND=wayland "${stack[@]}" /usr/libexec/gsd-media-keys >"$gnome_dir/media-keys.log" 2>&1 &
    gnome_wait "The media-keys daemon" media-keys.log timeout 3 gdbus introspect --session \
        -d org.gnome.SettingsDaemon.MediaKeys -o /org/gnome/SettingsDaemon/MediaKeys || return

    # The portals start on demand, with the environment above; poking one
    # waits for it and for GNOME's backend behind it.
    gnome_wait "The desktop portal" dbus.log gnome_on_bus org.freedesktop.portal.Desktop \
        /org/freedesktop/portal/desktop org.freedesktop.portal.RemoteDesktop || return

    local took=$((${EPOCHREALTIME//[.,]/} - started))
    gnome_started_in=$(printf '%d.%02d' $((took / 1000000)) $((took % 1000000 / 10000)))
}
