#!/usr/bin/env bash
# Every text of the program has its English translation: the translation source in the tree,
# brought up to date from the code by lupdate, must neither change nor hold an unfinished entry.
# Usage: check_translations.sh <lupdate> <source tree>
set -euo pipefail
lupdate=$1
tree=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$tree/translations/tiktakon_en.ts" "$work/tiktakon_en.ts"
LUPDATE=$lupdate "$tree/scripts/update-translations.sh" "$work/tiktakon_en.ts"
if ! diff -u "$tree/translations/tiktakon_en.ts" "$work/tiktakon_en.ts"; then
  echo "FAIL: texts in the code and translations/tiktakon_en.ts differ; run scripts/update-translations.sh and translate"
  exit 1
fi
if grep -n 'type="unfinished"' "$work/tiktakon_en.ts"; then
  echo "FAIL: untranslated texts"
  exit 1
fi
echo "PASS: $(grep -c '<message>' "$work/tiktakon_en.ts") texts translated"
