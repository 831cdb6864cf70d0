#!/usr/bin/env bash
# Builds Sayvo's Debian package in build-package/ (a stripped Release build
# with the flags Debian builds its own packages with), checks it with lintian
# and prints its path. Lintian's errors fail; its warnings are only shown.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh package

dir=build-package
# Every hardening feature and reproducible paths, as in an archive build.
# Debug information would only be stripped again.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSAYVO_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
    >"$dir.configure.log" 2>&1 || {
    cat "$dir.configure.log"
    exit 1
}
cmake --build "$dir" -j "$(nproc)"

rm -f "$dir"/sayvo_*.deb
(cd "$dir" && cpack -G DEB >cpack.log 2>&1) || {
    cat "$dir/cpack.log"
    exit 1
}
debs=("$dir"/sayvo_*.deb)
deb=$(realpath "${debs[0]}")

echo "== lintian"
lintian --display-info "$deb" || {
    echo "lintian found errors in $deb"
    exit 1
}
echo "$deb"
