#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests (also under ASan/UBSan and
# TSan), Linux backend tests, end-to-end tests on X11 and on a Wayland
# desktop, a short soak per engine and the Debian package's build and
# installation. Starts the X server and the Wayland desktop the tests need
# and stops them afterwards. Extra arguments go to every ctest run
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
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSAYVO_WARNINGS_AS_ERRORS=ON || exit 1
cmake --build build -j "$jobs" || exit 1
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DSAYVO_BUILD_LINUX=OFF -DSAYVO_WARNINGS_AS_ERRORS=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" || exit 1
cmake --build build-asan -j "$jobs" || exit 1
configure build-tsan -DCMAKE_BUILD_TYPE=Debug -DSAYVO_BUILD_LINUX=OFF -DSAYVO_WARNINGS_AS_ERRORS=ON \
    "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" || exit 1
cmake --build build-tsan -j "$jobs" || exit 1

# The services the backend and end-to-end tests talk to, private to this run.
. scripts/lib/headless.sh
headless_start || exit 1
scratch=$headless_scratch

. scripts/lib/tally.sh
run_ctest() {  # name, build dir, ctest args...
    local name=$1 dir=$2
    shift 2
    echo "== $name"
    local log
    log="$scratch/$(tr -c 'A-Za-z0-9' '_' <<<"$name").log"
    (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"
    tally "$log"
}

run_ctest "all tests" build -LE "wayland|gnome" "$@"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest "unit tests under ASan/UBSan" build-asan -L unit "$@"
TSAN_OPTIONS=halt_on_error=1 run_ctest "unit tests under TSan" build-tsan -L unit "$@"

# A short soak per engine, unless only some tests were asked for.
if [ $# -eq 0 ]; then
    for engine in system cloud; do
        echo "== soak ($engine)"
        if scripts/soak.sh --cycles 20 --engine "$engine" --idle 0 --strict; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
        fi
    done
fi

# The Debian package: built and checked with lintian, then installed, run and
# purged in a throwaway Debian root. Unless only some tests were asked for.
if [ $# -eq 0 ]; then
    echo "== package"
    if scripts/package.sh; then
        passed=$((passed + 1))
        echo "== package test"
        scripts/package_test.sh 2>&1 | tee "$scratch/package_test.log"
        tally "$scratch/package_test.log"
    else
        failed=$((failed + 2))  # the package test cannot run either
    fi
fi

# Debian 13 (GCC 14, Qt 6.8, Plasma 6.3): built in a chroot of its own,
# warnings as errors, its unit, backend and Wayland tests run there, and its
# own package built, checked and installed.
if [ $# -eq 0 ]; then
    echo "== Debian 13"
    scripts/trixie-test.sh 2>&1 | tee "$scratch/trixie.log"
    tally "$scratch/trixie.log"
fi

# The same application on Wayland desktops: KWin with its portals, then
# GNOME, on the same sound server. Last, since a desktop replaces the
# session's variables.
. scripts/lib/kwin.sh
echo "== Wayland desktop"
if kwin_start; then
    echo "MEASURE: kwin_and_portals_start = ${kwin_started_in} s"
    run_ctest "Wayland tests" build -L wayland "$@"
else
    failed=$((failed + 1))
fi
kwin_stop

# GNOME 43 on Wayland: no shortcut portal, mutter's own clipboard bridge.
. scripts/lib/gnome.sh
echo "== GNOME desktop"
if gnome_start; then
    echo "MEASURE: gnome_and_portals_start = ${gnome_started_in} s"
    run_ctest "GNOME tests" build -L gnome "$@"
else
    failed=$((failed + 1))
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
