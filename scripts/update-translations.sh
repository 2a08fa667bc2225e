#!/usr/bin/env bash
# Refreshes translations/dialer_<lang>.ts from the sources: new texts come in
# unfinished, texts gone from the sources go. A maintainer's step, run after
# changing a text the user sees; the build only reads the .ts files.
# With language codes (e.g. `fr`), starts or refreshes just those.
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${LUPDATE:-/usr/lib/qt6/bin/lupdate}
[ -x "$lupdate" ] || { echo "update-translations.sh: $lupdate is missing (Debian: qt6-l10n-tools)" >&2; exit 1; }
if [ "$#" -gt 0 ]; then
  ts=()
  for lang in "$@"; do ts+=("translations/dialer_$lang.ts"); done
else
  ts=(translations/dialer_*.ts)
fi
"$lupdate" -silent -locations none -no-obsolete src -ts "${ts[@]}"
