#!/usr/bin/env bash
# The shipped translations are complete and match the sources: lupdate run
# over src/ must leave every .ts file as it is (no text added or gone), and
# no entry may be unfinished or empty. Reaches the texts no screen test can
# show, such as the modem's and the card file's failures.
set -euo pipefail
root=$1 lupdate=${2:-/usr/lib/qt6/bin/lupdate}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root"/translations/*.ts "$work"/
"$lupdate" -silent -locations none -no-obsolete "$root/src" -ts "$work"/*.ts
status=0
for ts in "$root"/translations/*.ts; do
  name=$(basename "$ts")
  if ! diff -u "$ts" "$work/$name" >"$work/$name.diff"; then
    echo "$name is out of date with the sources (run scripts/update-translations.sh):"
    grep '^[-+] *<source>' "$work/$name.diff" || cat "$work/$name.diff"
    status=1
  fi
  if grep -n -E 'type="(unfinished|vanished|obsolete)"|<translation( [^>]*)?(/>|></translation>)' "$ts"; then
    echo "$name has entries without a translation (above)"
    status=1
  fi
done
exit $status
