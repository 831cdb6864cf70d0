#!/usr/bin/env bash
# Installs Sayvo's Debian package into a throwaway minimal Debian root (12,
# or the release given) the way a user would, with apt and without recommended packages: its
# dependencies must come from the archive, the installed program must answer
# --version and --help and keep running on a headless X server without
# complaining about its windows, and purging the package must leave none of
# its files. Prints the program's resident memory after 5 s.
#   scripts/package_test.sh [--release CODENAME] [PACKAGE.deb]
#   (default: bookworm, build-package/sayvo_*.deb)
# Needs root (for chroot) and the Debian archive apt already uses. Downloaded
# packages are kept in /var/cache/sayvo-CODENAME for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then exec sudo "$0" "$@"; fi
scripts/install-deps.sh package

release=bookworm
if [ "${1:-}" = --release ]; then
    release=$2
    shift 2
fi
if [ $# -gt 0 ]; then
    deb=$(realpath "$1")
else
    debs=(build-package/sayvo_*.deb)
    deb=$(realpath "${debs[0]}")
fi
[ -f "$deb" ] || {
    echo "no package: make one with scripts/package.sh"
    exit 1
}

# The archive this machine's apt uses (and its security archive, if any).
apt_uris=$({ cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } |
    sed -nE 's/^deb(\s+\[[^]]*\])?\s+(\S+).*/\2/p; s/^URIs:\s*//p' | tr ' ' '\n')
mirror=$(grep -m1 -E '/debian/?$' <<<"$apt_uris" || echo http://deb.debian.org/debian)
security=$(grep -m1 -E '/debian-security/?$' <<<"$apt_uris" || true)

root=$(mktemp -d /var/tmp/sayvo-package-test.XXXXXX)
chmod 755 "$root"  # apt downloads as its own user
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    # Unmount before removing, so nothing outside the root can be reached.
    for m in var/cache/apt/archives dev/pts dev/shm proc; do
        if mountpoint -q "$root/$m"; then umount "$root/$m" || umount -l "$root/$m" || true; fi
    done
    if findmnt -rno TARGET | grep -q "^$root/"; then
        echo "left $root: something is still mounted in it"
    else
        rm -rf "$root"
    fi
}
trap cleanup EXIT

started=$SECONDS
step() { echo "== $1 (at $((SECONDS - started)) s)"; }
root_env=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
    DEBIAN_FRONTEND=noninteractive)
in_root() { chroot "$root" "${root_env[@]}" "$@"; }
apt_in_root() {  # apt-get's chatter only when it fails
    in_root apt-get "$@" >"$root/tmp/apt.log" 2>&1 || {
        cat "$root/tmp/apt.log"
        return 1
    }
}

cache=/var/cache/sayvo-$release
mkdir -p "$cache"
step "debootstrap $release from $mirror"
debootstrap --variant=minbase --cache-dir="$cache" "$release" "$root" "$mirror" \
    >"$root.log" 2>&1 || {
    cat "$root.log"
    rm -f "$root.log"
    exit 1
}
rm -f "$root.log"
{
    echo "deb $mirror $release main"
    echo "deb $mirror $release-updates main"
    if [ -n "$security" ]; then echo "deb $security $release-security main"; fi
} >"$root/etc/apt/sources.list"
# Nothing installed may start a service on this machine.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
mount -t proc proc "$root/proc"
mount -t tmpfs shm "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
mount --bind "$cache" "$root/var/cache/apt/archives"
cp "$deb" "$root/tmp/"
package=/tmp/$(basename "$deb")

step "apt-get install $(basename "$deb")"
apt_in_root update
apt_in_root install -y --no-install-recommends "$package"
passed=0
failed=0
check() {  # what, command...
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
        passed=$((passed + 1))
    else
        echo "FAILED: $what"
        failed=$((failed + 1))
    fi
}
check "sayvo --version" in_root sh -c 'sayvo --version | grep -qx "sayvo [0-9.]*"'
check "sayvo --help" in_root sh -c 'sayvo --help | grep -q -- --verbose'
check "menu entry" test -f "$root/usr/share/applications/app.sayvo.Sayvo.desktop"

step "start on a headless X server"
apt_in_root install -y --no-install-recommends xvfb
exec 3<>"$root/tmp/displayfd"
# Started directly, not through a function, so that $! is the server itself.
chroot "$root" "${root_env[@]}" Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp \
    >"$root/tmp/xvfb.log" 2>&1 &
pids+=($!)
display=""
for _ in $(seq 100); do
    display=$(head -n1 "$root/tmp/displayfd" 2>/dev/null)
    [ -n "$display" ] && break
    sleep 0.1
done
exec 3>&-
if [ -z "$display" ]; then
    cat "$root/tmp/xvfb.log"
    exit 1
fi
mkdir -m 700 "$root/tmp/runtime"
# The import trace shows that both windows' QML was loaded.
chroot "$root" "${root_env[@]}" DISPLAY=":$display" XDG_RUNTIME_DIR=/tmp/runtime QML_IMPORT_TRACE=1 \
    sayvo --verbose >"$root/tmp/trace.log" 2>&1 &
sayvo=$!
pids+=("$sayvo")
sleep 5
if kill -0 "$sayvo" 2>/dev/null; then
    echo "resident memory after 5 s: $(grep VmRSS "/proc/$sayvo/status" | tr -s ' \t' ' ')"
    kill "$sayvo"
    wait "$sayvo" || true
else
    echo "FAILED: sayvo ended within 5 s"
    failed=$((failed + 1))
fi
grep -v '^qt\.qml\.import: ' "$root/tmp/trace.log" >"$root/tmp/sayvo.log" || true
for qml in FloatingIndicatorView MenuBarView; do
    check "$qml.qml loaded" grep -q "addLibraryImport: qrc:/qml/$qml.qml " "$root/tmp/trace.log"
done
# A QML module or plugin missing from the dependencies shows as a message
# naming the QML file that needs it.
check "no QML or plugin errors" sh -c "! grep -qE 'qrc:|is not installed|plugin' $root/tmp/sayvo.log"
echo "-- what sayvo said:"
cat "$root/tmp/sayvo.log"

step "apt-get remove --purge sayvo"
files=$(in_root dpkg -L sayvo)
apt_in_root remove --purge -y sayvo
left=()
while IFS= read -r path; do
    [ "$path" != /. ] || continue
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    # A directory that another package also holds stays.
    if [ -d "$root$path" ] && [ ! -L "$root$path" ] && in_root dpkg-query -S "$path" >/dev/null 2>&1; then
        continue
    fi
    left+=("$path")
done <<<"$files"
check "nothing of the package left after the purge" test ${#left[@]} -eq 0
[ ${#left[@]} -eq 0 ] || printf '  left: %s\n' "${left[@]}"

step "done"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
