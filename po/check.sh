#!/usr/bin/env bash
# The catalogues' check of the test command: every translatable text of the sources is in
# every po/LANG.po (translated or not yet), and every catalogue compiles.
#   po/check.sh SOURCE-DIR
set -euo pipefail
src=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$src/po/xgettext.sh" "$src" "$tmp/sources.pot"
status=0
for lang in $(cat "$src/po/LINGUAS"); do
  po="$src/po/$lang.po"
  if ! msgcmp --use-untranslated --use-fuzzy "$po" "$tmp/sources.pot" 2>"$tmp/err"; then
    echo "po/$lang.po lacks texts of the sources:" >&2
    # msgcmp names lines of the template: show the texts.
    grep -oE "sources\.pot:[0-9]+: this message is used but not defined" "$tmp/err" |
      cut -d: -f2 | while read -r line; do
        echo "  missing: $("$src/po/entry.sh" "$tmp/sources.pot" "$line")" >&2
      done
    status=1
  fi
  if ! "$src/po/msgfmt.sh" "$po" "$tmp/$lang.mo"; then status=1; fi
  # How far the translation is (for the log; untranslated texts show in English).
  msgfmt --statistics --output-file=/dev/null "$po" 2>&1 | sed "s|^|po/$lang.po: |"
done
if [ $status -ne 0 ]; then
  echo "Run 'ninja -C build/release update-po' to add new texts to the catalogues." >&2
fi
exit $status
