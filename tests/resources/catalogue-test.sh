#!/usr/bin/env bash
# The catalogues keep up with the sources: lupdate over the sources finds no
# text that lumora_de.ts leaves untranslated, every text lumora_en.ts mends
# is still used, and each translation keeps its source's placeholders.
#   catalogue-test.sh SOURCE_DIR LUPDATE
set -uo pipefail

source_dir=$1 lupdate=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

folders=()
for folder in platform privileged save preview update controller app cli; do
  folders+=("$source_dir/$folder")
done

for language in de en; do
  cp "$source_dir/resources/translations/lumora_$language.ts" "$work/"
  # Merging into a copy marks new texts unfinished and gone ones vanished.
  if ! "$lupdate" -locations none "${folders[@]}" -ts "$work/lumora_$language.ts" >"$work/$language.log" 2>&1; then
    cat "$work/$language.log"
    fail "lupdate failed for $language"
    continue
  fi
  found=$(sed -n 's/.*Found \([0-9]*\) source text.*/\1/p' "$work/$language.log")
  # The sources hold well over a hundred texts; far fewer means the scan missed them.
  if [ "${found:-0}" -lt 100 ]; then
    fail "lupdate found only ${found:-no} texts in the sources"
  fi
done

python3 - "$work/lumora_de.ts" "$work/lumora_en.ts" <<'PY' || failures=$((failures + 1))
import re, sys
import xml.etree.ElementTree as ET

def messages(path):
    for message in ET.parse(path).getroot().iter('message'):
        yield message.findtext('source') or '', message.find('translation')

bad = 0
def fail(text):
    global bad
    bad += 1
    print('FAIL:', text)

for source, translation in messages(sys.argv[1]):
    kind = translation.get('type')
    if kind == 'unfinished' or not (translation.text or ''):
        fail('not translated into German: %r' % source)
    elif kind in ('vanished', 'obsolete'):
        print('note: lumora_de.ts still has a text the sources no longer use: %r' % source)
    elif sorted(re.findall(r'%@|%\d', source)) != sorted(re.findall(r'%@|%\d', translation.text)):
        fail('placeholders differ in the German for %r' % source)
for source, translation in messages(sys.argv[2]):
    if translation.get('type') in ('vanished', 'obsolete'):
        fail('lumora_en.ts mends a text the sources no longer use: %r' % source)
sys.exit(1 if bad else 0)
PY

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; update resources/translations/*.ts (lupdate, then translate)"
  exit 1
fi
echo "catalogues cover every text"
