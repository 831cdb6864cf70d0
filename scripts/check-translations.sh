#!/usr/bin/env bash
# Fails when a text Sayvo shows has no translation in a shipped language, or a
# catalogue still holds a text the sources no longer have. Extracts afresh into
# scratch copies, so the catalogues in the tree are left as they are; to bring
# them up to date, run it with --update.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mapfile -d '' sources < <(find src \( -name '*.h' -o -name '*.cpp' -o -name '*.qml' \) -print0 | sort -z)
failed=0
for catalogue in i18n/*.ts; do
    target=$scratch/$(basename "$catalogue")
    [ "${1:-}" = --update ] && target=$catalogue
    [ "$target" = "$catalogue" ] || cp "$catalogue" "$target"
    "$lupdate" -silent -tr-function-alias QT_TRANSLATE_NOOP+=SAYVO_TEXT -source-language zh_CN \
        -locations none "${sources[@]}" -ts "$target" 2> >(grep -v "Ignoring definition" >&2)
    untranslated=$(grep -c 'type="unfinished"' "$target" || :)
    stale=$(grep -c -E 'type="(vanished|obsolete)"' "$target" || :)
    echo "$catalogue: $(grep -c '<source>' "$target") texts, $untranslated untranslated, $stale stale"
    [ "$untranslated" -eq 0 ] && [ "$stale" -eq 0 ] || failed=1
done
exit "$failed"
