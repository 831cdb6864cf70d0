#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every file: the
# program (which answers --version and --help), its desktop entry (valid, and
# naming the installed program and icon) and its icon. Nothing else may be
# installed.
#   tests/install/check_install.sh BUILD_DIR
set -uo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null || exit 1
id=app.sayvo.Sayvo
expected="bin/sayvo
share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
failed=0
if [ "$installed" != "$expected" ]; then
    echo "installed:"; echo "$installed"; echo "expected:"; echo "$expected"
    failed=1
fi
entry=$prefix/share/applications/$id.desktop
desktop-file-validate "$entry" || failed=1
grep -qx "Exec=sayvo" "$entry" && grep -qx "Icon=$id" "$entry" || { echo "Exec or Icon"; failed=1; }
# Answered without a display, as in a package check.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/sayvo" --version) &&
    [[ $version =~ ^sayvo\ [0-9]+\.[0-9]+ ]] || { echo "--version: $version"; failed=1; }
env -u DISPLAY "$prefix/bin/sayvo" --help | grep -q -- "--verbose" || { echo "--help"; failed=1; }
exit $failed
