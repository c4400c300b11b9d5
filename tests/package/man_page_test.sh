#!/usr/bin/env bash
# man_page_test.sh BUILD_DIR: the manual pages as built are plain ASCII (so they render in any
# locale), and the host's page says, word for word, what --help says of its options, environment
# and exit statuses.
set -euo pipefail
build="$(cd "$1" && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }

for page in "$build"/packaging/autoiepcensad.1 "$build"/packaging/autoiepcensad-run.1; do
  ! LC_ALL=C grep -n -P '[^\x00-\x7F]' "$page" || fail "$page has bytes outside ASCII"
  [ -z "$(LC_ALL=C man -l "$page" 2>&1 >/dev/null)" ] || fail "$page: $(LC_ALL=C man -l "$page" 2>&1 >/dev/null)"
done
LC_ALL=C.UTF-8 man -l "$build/packaging/autoiepcensad.1" 2>/dev/null | grep -q 'Piešķirt' ||
  fail "the Latvian letters do not come out in a UTF-8 locale"

# The words between one heading and the next, one per line.
words() { tr -s ' \t\n' '\n\n\n' | sed '/^$/d'; }
help="$("$build/bin/autoiepcensad-run" --help)"
rendered="$(LC_ALL=C MANWIDTH=2000 man -l "$build/packaging/autoiepcensad-run.1" 2>/dev/null)"
for pair in "Options:/OPTIONS" "Environment:/ENVIRONMENT" "Exit status:/EXIT STATUS"; do
  from_help="$(awk -v head="${pair%/*}" '$0 == head {on = 1; next} /^[A-Z][a-z ]*:$/ {on = 0} on' <<< "$help" | words)"
  from_page="$(awk -v head="${pair#*/}" '$0 == head {on = 1; next} /^[A-Z][A-Z ]*$/ {on = 0} on' <<< "$rendered" | words)"
  [ -n "$from_help" ] || fail "--help has no ${pair%/*}"
  [ "$from_help" = "$from_page" ] || fail "${pair#*/} differs from --help:
$(diff <(echo "$from_help") <(echo "$from_page") || true)"
done
echo "manual pages match --help"
