#!/usr/bin/env bash
# Extracts the program's translatable texts into a template (.pot): every literal given to
# tr, ntr, N_ (base/translate.h) or Tr, NTr (gui/qtext.h) in the program's source folders.
#   po/xgettext.sh SOURCE-DIR OUTPUT.pot
set -euo pipefail
src=$1
out=$2
list=$(mktemp)
trap 'rm -f "$list"' EXIT
(cd "$src" && for d in base engine sources filters export treemap views fsops app gui; do
   if [ -d "$d" ]; then find "$d" -name "*.cpp" -o -name "*.h"; fi
 done | LC_ALL=C sort) >"$list"
xgettext --from-code=UTF-8 --language=C++ --directory="$src" --files-from="$list" \
  --keyword= --keyword=tr --keyword=ntr:1,2 --keyword=N_ --keyword=Tr --keyword=NTr:1,2 \
  --add-comments=TRANSLATORS: --add-location=file --sort-by-file \
  --package-name=Quarzel --foreign-user --output="$out"
# The catalogues are UTF-8 (xgettext leaves the placeholder while every text is ASCII).
sed -i 's/charset=CHARSET/charset=UTF-8/' "$out"
