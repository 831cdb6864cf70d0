#!/usr/bin/env bash
# Builds Sayvo on Debian 13 ("trixie": GCC 14, Qt 6.8) in a chroot of its own
# and runs the unit and backend tests there, on its own headless X server and
# sound server. Needs root and Debian's archive; downloaded packages are kept
# in /var/cache/sayvo-trixie for the next run on this machine. Everything it
# mounts and makes is removed on exit, whatever failed. Extra arguments go to
# ctest. Ends with ctest's summary.
set -uo pipefail
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
    cmake --build build -j "$(nproc)" --target sayvo sayvo_unit_tests sayvo_backend_tests' ||
    exit 1
echo "MEASURE: trixie_setup_and_build = $((SECONDS - started)) s"

echo "== unit and backend tests on Debian 13"
inside bash -c '. /src/scripts/lib/headless.sh && headless_start &&
    cd /src/build && ctest --output-on-failure -L "unit|backend" "$@"' trixie "$@"
status=$?
echo "MEASURE: trixie_stage = $((SECONDS - started)) s"
exit $status
