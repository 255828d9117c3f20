#!/usr/bin/env bash
# Compiles one catalogue: po/LANG.po -> LANG.mo, with msgfmt's checks of formats and header.
# A broken entry fails with msgfmt's message and the msgid of the entry it points at.
#   po/msgfmt.sh INPUT.po OUTPUT.mo
set -uo pipefail
po=$1
mo=$2
mkdir -p "$(dirname "$mo")"
err=$(msgfmt --check --output-file="$mo.tmp" "$po" 2>&1)
if [ $? -ne 0 ]; then
  rm -f "$mo.tmp"
  echo "$err" >&2
  # Each "FILE:LINE:" msgfmt names: the entry is the msgid at or above that line.
  echo "$err" | grep -oE "^[^ :]*\.po:[0-9]+:" | cut -d: -f2 | sort -un | while read -r line; do
    echo "  broken entry (line $line): $("$(dirname "$0")/entry.sh" "$po" "$line")" >&2
  done
  exit 1
fi
mv "$mo.tmp" "$mo"
