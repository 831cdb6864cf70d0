#!/usr/bin/env bash
# Sets up, builds and starts Sayvo on the current desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build-app -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSAYVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-app --target sayvo
exec build-app/sayvo
