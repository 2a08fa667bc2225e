#!/usr/bin/env bash
# Renders every screen to screenshots/*.png (desktop and phone layouts)
# on the offscreen platform: no display needed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
build/tools/render_screens screenshots
build/tools/render_screens screenshots phone
