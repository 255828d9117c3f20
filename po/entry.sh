#!/usr/bin/env bash
# Prints the msgid of the catalogue entry that holds line LINE of FILE (the nearest msgid at or
# above it), so that a failed check names the text and not only a line number.
#   po/entry.sh FILE LINE
awk -v target="$2" '
  /^msgid / { if (NR > target) exit; text = $0; inid = 1; next }
  inid && /^"/ { text = text $0; next }
  { inid = 0 }
  END { if (text != "") print text }' "$1"
