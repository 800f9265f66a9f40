#!/usr/bin/env bash
# Brings the English translation source up to date with the texts in the code; new texts come
# in unfinished, to be translated in translations/tiktakon_en.ts (Qt Linguist or a text editor).
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/lib/qt6/bin/lupdate app display profiles settings history -ts translations/tiktakon_en.ts \
  -source-language cs_CZ -target-language en -no-obsolete -locations none
