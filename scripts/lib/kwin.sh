# A Wayland desktop for scripts that drive the real application: KWin,
# headless, with XWayland for X11 clients and the desktop portals (global
# shortcuts, remote desktop) on a session bus of its own. Source it after
# headless.sh and headless_start, then call kwin_start; everything stops on
# exit, before headless.sh's own cleanup (a script that sets its own exit
# trap calls kwin_stop before headless_stop). kwin_start again starts afresh.
# Sets WAYLAND_DISPLAY, DISPLAY (XWayland's), DBUS_SESSION_BUS_ADDRESS, HOME,
# XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_CURRENT_DESKTOP and XDG_SESSION_TYPE,
# and kwin_started_in (seconds). PULSE_SERVER still names headless.sh's sound
# server, and QT_QPA_PLATFORM stays xcb.

kwin_dir=""
kwin_compositor=""

# Every process of the stack carries kwin_stack in its environment, so that
# the helpers the bus starts on demand are found too. The test's own
# processes do not.
kwin_pids() {
    [ -n "$kwin_dir" ] || return 0
    { grep -lsxzF "kwin_stack=$kwin_dir" /proc/[0-9]*/environ || :; } | cut -d/ -f3
}

kwin_ours() { [ -n "$1" ] && grep -qsxzF "kwin_stack=$kwin_dir" "/proc/$1/environ"; }

# TERM, then KILL what is left of them after 5 s. Only the stack's: a number
# may have been given to a new process since.
kwin_end() {
    local pid left
    for pid; do kwin_ours "$pid" && kill "$pid" 2>/dev/null; done
    for _ in $(seq 50); do
        left=""
        for pid; do kwin_ours "$pid" && left+=" $pid"; done
        [ -z "$left" ] && return 0
        sleep 0.1
    done
    kill -KILL $left 2>/dev/null
}

kwin_stop() {
    [ -n "$kwin_dir" ] || return 0
    # KWin first, as at a logout: ended along with its clients, it may crash.
    kwin_end "$kwin_compositor"
    kwin_end $(kwin_pids)
    # A document portal killed leaves its mount behind, and rm -rf stuck on it.
    if mountpoint -q "$kwin_dir/runtime/doc"; then
        fusermount3 -u "$kwin_dir/runtime/doc" 2>/dev/null || umount -l "$kwin_dir/runtime/doc"
    fi
    return 0
}

eval "kwin_next_trap=($(trap -p EXIT))"
trap "kwin_stop; ${kwin_next_trap[2]:-}" EXIT
unset kwin_next_trap

# Runs the rest of its arguments every 50 ms until they succeed: true, or
# false after 10 s or once process $2 has gone.
kwin_wait() {
    local what=$1 pid=$2
    shift 2
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "$what did not come up:"
    return 1
}

kwin_on_bus() {  # name, object, interfaces...
    local name=$1 object=$2 xml interface
    shift 2
    # Asked first without starting it: the one we launched is to answer.
    gdbus call --session --timeout 2 -d org.freedesktop.DBus -o /org/freedesktop/DBus \
        -m org.freedesktop.DBus.NameHasOwner "$name" | grep -q true || return 1
    xml=$(timeout 2 gdbus introspect --session -d "$name" -o "$object") || return 1
    for interface in "$@"; do grep -q "interface $interface " <<<"$xml" || return 1; done
}

kwin_failed() {
    local log
    for log in "$@"; do
        echo "--- $log"
        tail -n 40 "$kwin_dir/$log"
    done
    kwin_stop
    return 1
}

kwin_start() {
    local started=${EPOCHREALTIME//[.,]/}
    kwin_stop
    kwin_dir=$headless_scratch/kwin
    rm -rf "$kwin_dir"
    # A fresh home each time: shortcuts a previous KWin stored would keep their keys.
    mkdir -p "$kwin_dir/home/.config" "$kwin_dir/bin"
    mkdir -p -m 700 "$kwin_dir/runtime"
    export HOME=$kwin_dir/home XDG_CONFIG_HOME=$kwin_dir/home/.config
    export XDG_RUNTIME_DIR=$kwin_dir/runtime WAYLAND_DISPLAY=wayland-0
    export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
    unset DISPLAY XAUTHORITY DBUS_SESSION_BUS_ADDRESS XDG_DATA_HOME XDG_CACHE_HOME XDG_STATE_HOME
    local stack=(env kwin_stack="$kwin_dir")

    "${stack[@]}" dbus-daemon --session --nofork --print-address=1 \
        --address="unix:path=$XDG_RUNTIME_DIR/bus" >"$kwin_dir/bus" 2>"$kwin_dir/dbus.log" &
    kwin_wait "The session bus" $! test -s "$kwin_dir/bus" || kwin_failed dbus.log || return
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$kwin_dir/bus")
    export DBUS_SESSION_BUS_ADDRESS

    # The keyring a login leaves unlocked: the portal would otherwise start one
    # without a collection, whose first write asks for a password over the
    # window being dictated into.
    printf test-password | "${stack[@]}" gnome-keyring-daemon --unlock --foreground \
        --components=secrets >"$kwin_dir/keyring.log" 2>&1 &
    kwin_wait "The keyring" $! kwin_on_bus org.freedesktop.secrets /org/freedesktop/secrets \
        org.freedesktop.Secret.Service || kwin_failed keyring.log || return

    # kwin_wayland carries a file capability that a container's bounding set
    # may lack, and then it does not start at all. A copy has none; it keeps
    # the name, which KWin's own Qt platform plugin checks.
    cp /usr/bin/kwin_wayland "$kwin_dir/bin/kwin_wayland"
    # KWin picks XWayland's display itself and tells only the programs it
    # starts: one of them writes it down.
    printf '#!/bin/sh\necho "$DISPLAY" >"%s.new" && mv "%s.new" "%s"\n' \
        "$kwin_dir/display" "$kwin_dir/display" "$kwin_dir/display" >"$kwin_dir/bin/tell-display"
    chmod +x "$kwin_dir/bin/tell-display"
    # KWin 6 gives the KDE portal its privileged protocols (fake input) only
    # once it finds the portal's desktop entry, which its menu database lists
    # only under an applications menu, as Plasma's own session has.
    mkdir -p "$XDG_CONFIG_HOME/menus"
    cat >"$XDG_CONFIG_HOME/menus/applications.menu" <<'MENU'
<!DOCTYPE Menu PUBLIC "-//freedesktop//DTD Menu 1.0//EN"
 "http://www.freedesktop.org/standards/menu-spec/1.0/menu.dtd">
<Menu><Name>Applications</Name><DefaultAppDirs/><DefaultDirectoryDirs/><Include><All/></Include></Menu>
MENU
    # KWin gives up without the X socket directory, which X servers create.
    [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix
    (
        unset QT_QPA_PLATFORM  # KWin brings its own
        exec "${stack[@]}" "$kwin_dir/bin/kwin_wayland" --virtual --xwayland --no-lockscreen \
            --width 1280 --height 800 --socket "$WAYLAND_DISPLAY" "$kwin_dir/bin/tell-display"
    ) >"$kwin_dir/kwin.log" 2>&1 &
    kwin_compositor=$!
    kwin_wait "KWin" $kwin_compositor test -s "$kwin_dir/display" || kwin_failed kwin.log || return
    DISPLAY=$(cat "$kwin_dir/display")
    export DISPLAY
    kwin_wait "XWayland" $kwin_compositor timeout 2 xwininfo -root || kwin_failed kwin.log || return

    local kde=/usr/share/dbus-1/services/org.freedesktop.impl.portal.desktop.kde.service
    kde=$(sed -n 's/^Exec=//p' "$kde")
    "${stack[@]}" QT_QPA_PLATFORM=wayland "$kde" >"$kwin_dir/portal-kde.log" 2>&1 &
    kwin_wait "The KDE portal" $! kwin_on_bus org.freedesktop.impl.portal.desktop.kde \
        /org/freedesktop/portal/desktop org.freedesktop.impl.portal.GlobalShortcuts \
        org.freedesktop.impl.portal.RemoteDesktop || kwin_failed portal-kde.log || return

    "${stack[@]}" /usr/libexec/xdg-desktop-portal >"$kwin_dir/portal.log" 2>&1 &
    kwin_wait "The desktop portal" $! kwin_on_bus org.freedesktop.portal.Desktop \
        /org/freedesktop/portal/desktop org.freedesktop.portal.GlobalShortcuts \
        org.freedesktop.portal.RemoteDesktop || kwin_failed portal.log portal-kde.log || return

    # Plasma 6 asks the user before a host application may type; this is the
    # answer "yes" leaves in the permission store, for Sayvo (known by its app
    # id where its entry is installed) and for the test's own keyboard (no app
    # id). Plasma 5.27 never asks.
    local app
    for app in app.sayvo.Sayvo ""; do
        gdbus call --session -d org.freedesktop.impl.portal.PermissionStore \
            -o /org/freedesktop/impl/portal/PermissionStore \
            -m org.freedesktop.impl.portal.PermissionStore.SetPermission \
            kde-authorized true remote-desktop "$app" "['yes']" >/dev/null ||
            kwin_failed portal.log || return
    done

    local took=$((${EPOCHREALTIME//[.,]/} - started))
    kwin_started_in=$(printf '%d.%02d' $((took / 1000000)) $((took % 1000000 / 10000)))
}
