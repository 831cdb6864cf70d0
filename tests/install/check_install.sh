#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks every installed file.
#   tests/install/check_install.sh BUILD_DIR
set -uo pipefail
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null || exit 1
id=app.sayvo.Sayvo
expected="bin/sayvo
share/applications/$id.desktop
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/sayvo.1.gz
share/metainfo/$id.metainfo.xml"
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
failed=0
fail() { echo "$*"; failed=1; }
[ "$installed" = "$expected" ] || fail $'installed:\n'"$installed"$'\nexpected:\n'"$expected"
entry=$prefix/share/applications/$id.desktop
desktop-file-validate "$entry" || failed=1
grep -qx "Exec=sayvo" "$entry" && grep -qx "Icon=$id" "$entry" || fail "Exec or Icon"
# The metainfo on its own and with the desktop entry it names; errors and
# warnings fail, infos are only hints.
metainfo=$prefix/share/metainfo/$id.metainfo.xml
appstreamcli validate-tree --no-net --no-color "$prefix" || failed=1
grep -q "<binary>sayvo</binary>" "$metainfo" || fail "metainfo: no binary sayvo"
# Answered without a display, as in a package check.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/sayvo" --version) &&
    [[ $version =~ ^sayvo\ [0-9]+\.[0-9]+ ]] || fail "--version: $version"
# Software centres show the newest release as the installed version.
grep -m1 "<release " "$metainfo" | grep -q "version=\"${version#sayvo }\"" ||
    fail "newest release is not ${version#sayvo }"
help=$(env -u DISPLAY "$prefix/bin/sayvo" --help)
grep -q -- "--verbose" <<<"$help" || fail "--help"
page=$prefix/share/man/man1/sayvo.1.gz
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "manual page: $warnings"
manual=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
for option in $(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u); do
    [ "$option" = --help-all ] && continue  # Qt's own options
    grep -q -- "$option" <<<"$manual" || fail "manual page lacks $option"
done
exit $failed
