#!/usr/bin/env bash
# Brings the catalogues in line with the sources: the template po/quarzel.pot is extracted
# again and every po/LANG.po gets its new texts (untranslated) and loses the ones no longer
# used. Run through the build target: ninja -C build/release update-po
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/po/xgettext.sh" "$src" "$src/po/quarzel.pot"
for lang in $(cat "$src/po/LINGUAS"); do
  po="$src/po/$lang.po"
  if [ -f "$po" ]; then
    msgmerge --quiet --update --backup=none --no-wrap "$po" "$src/po/quarzel.pot"
  else
    msginit --no-translator --no-wrap --locale="$lang.UTF-8" --input="$src/po/quarzel.pot" \
      --output-file="$po"
  fi
done
