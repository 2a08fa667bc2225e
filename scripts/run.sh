#!/usr/bin/env bash
# Sets everything up, builds, and starts the dialer. Without a display it
# runs inside a virtual X server, so the window can still be grabbed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

# A bare root shell or a chroot has no session runtime folder; give the
# program a private one (mktemp makes it 0700, as Qt requires) for this run.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  XDG_RUNTIME_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR
  trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: starting the dialer under Xvfb (xvfb-run)." >&2
  xvfb-run -a -s "-screen 0 1024x768x24" build/src/dialer "$@"
else
  build/src/dialer "$@"
fi
