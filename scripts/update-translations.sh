#!/usr/bin/env bash
# Brings the English translation source up to date with the texts in the code; new texts come
# in unfinished, to be translated in translations/tiktakon_en.ts (Qt Linguist or a text editor).
# Usage: update-translations.sh [TS FILE]   (another file than the tree's: the completeness test)
# LUPDATE names the tool when it is not Qt 6's usual one.
set -euo pipefail
ts=$(realpath -m "${1:-$(dirname "$0")/../translations/tiktakon_en.ts}")
cd "$(dirname "$0")/.."
"${LUPDATE:-/usr/lib/qt6/bin/lupdate}" -silent app display profiles settings history -ts "$ts" \
  -source-language cs_CZ -target-language en -no-obsolete -locations none
