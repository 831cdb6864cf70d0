#!/usr/bin/env bash
# Debian 13 ("trixie": GCC 14, Qt 6.8, Plasma 6.3, GNOME 48) in a chroot of
# its own: builds Sayvo there with warnings as errors, runs the unit and
# backend tests on its own headless X server and sound server, then the
# Wayland tests on headless Plasma 6.3 and GNOME 48, builds and
# lintian-checks the release's own package, and installs that into a fresh
# Debian 13 root (scripts/package_test.sh).
# Needs root and Debian's archive; downloaded packages are kept in
# /var/cache/sayvo-trixie for the next run on this machine. Everything it
# mounts and makes is removed on exit, whatever failed. Extra arguments go to
# ctest. Ends with "N passed, M failed".
set -uo pipefail
shopt -s lastpipe  # the counts a pipeline's last step adds stay
cd "$(dirname "$0")/.."
source=$(pwd)

for tool in debootstrap chroot; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh test)"; exit 1; }
done
cache=/var/cache/sayvo-trixie
work=$(mktemp -d /tmp/sayvo-trixie.XXXXXX)
root=$work/root

cleanup() {
    # Deepest first; a busy one is detached rather than left behind.
    grep -o " $root/[^ ]*" /proc/mounts | sort -r | while read -r mount; do
        umount "$mount" 2>/dev/null || umount -l "$mount"
    done
    # Never into a file system still mounted there.
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

inside() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

started=$SECONDS
mkdir -p "$cache"
echo "== Debian 13 root"
debootstrap --variant=minbase --cache-dir="$cache" trixie "$root" http://deb.debian.org/debian \
    >"$work/debootstrap.log" 2>&1 || {
    tail -n 20 "$work/debootstrap.log"
    exit 1
}
mount -t proc proc "$root/proc"
mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
# An empty /run, as in a container: nothing there claims a logind seat.
mount -t tmpfs -o mode=755 tmpfs "$root/run"
mkdir -p "$root/run/lock" "$root/var/cache/apt/archives" "$root/src"
mount --bind "$cache" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The tracked files as they are in the work tree, uncommitted changes too.
git -C "$source" ls-files -z | tar -C "$source" --null -T - -c | tar -x -C "$root/src"

echo "== packages"
inside bash /src/scripts/install-deps.sh test >"$work/deps.log" 2>&1 || {
    tail -n 20 "$work/deps.log"
    exit 1
}
echo "== build (warnings are errors)"
inside bash -c 'cd /src && cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSAYVO_WARNINGS_AS_ERRORS=ON >/tmp/configure.log 2>&1 || { cat /tmp/configure.log; exit 1; }
    cmake --build build -j "$(nproc)" --target sayvo sayvo_unit_tests sayvo_backend_tests \
        sayvo_wayland_backend_tests sayvo_e2e_tests' ||
    exit 1
echo "MEASURE: trixie_setup_and_build = $((SECONDS - started)) s"

. scripts/lib/tally.sh
step() {  # name, then the log's path: tallied after the step
    echo "== $1"
    tee "$2"
    tally "$2"
}
inside bash -c '. /src/scripts/lib/headless.sh && headless_start &&
    cd /src/build && ctest --output-on-failure -L "unit|backend" "$@"' trixie "$@" 2>&1 |
    step "unit and backend tests on Debian 13" "$work/unit.log"
# The application entry as the package installs it: the desktop takes Sayvo's
# app id only for an installed entry whose program is on its PATH.
inside bash -c 'ln -sf /src/build/sayvo /usr/bin/sayvo &&
    install -m 644 -D /src/data/app.sayvo.Sayvo.desktop /usr/share/applications/app.sayvo.Sayvo.desktop &&
    . /src/scripts/lib/headless.sh && headless_start && . /src/scripts/lib/kwin.sh && kwin_start &&
    echo "MEASURE: plasma6_and_portals_start = ${kwin_started_in} s" &&
    cd /src/build && ctest --output-on-failure -L wayland "$@"' trixie "$@" 2>&1 |
    step "Wayland tests on Plasma 6.3" "$work/wayland.log"
# GNOME 48: the shortcut through its portal, once the user has added it.
inside bash -c '. /src/scripts/lib/headless.sh && headless_start && . /src/scripts/lib/gnome.sh &&
    gnome_start && echo "MEASURE: gnome48_and_portals_start = ${gnome_started_in} s" &&
    cd /src/build && ctest --output-on-failure -L gnome "$@"' trixie "$@" 2>&1 |
    step "GNOME tests on GNOME 48" "$work/gnome.log"

if [ $# -eq 0 ]; then
    echo "== package for Debian 13"
    if inside bash /src/scripts/package.sh >"$work/package.log" 2>&1; then
        sed -n '/^== lintian/,$p' "$work/package.log"
        passed=$((passed + 1))
        deb=$(tail -n1 "$work/package.log")
        cp "$root$deb" "$work/"
        scripts/package_test.sh --release trixie "$work/$(basename "$deb")" 2>&1 |
            step "package test on Debian 13" "$work/package_test.log"
    else
        tail -n 30 "$work/package.log"
        failed=$((failed + 2))  # the package test cannot run either
    fi
fi
echo "MEASURE: trixie_stage = $((SECONDS - started)) s"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
