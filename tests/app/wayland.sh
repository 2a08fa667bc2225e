#!/usr/bin/env bash
# The program on Wayland, under a headless weston of its own (whose kiosk shell
# starts no helpers that would outlive it): the home screen's window gets the
# caption "Quorin Dialer", is painted and shown on the output, and the program
# still runs after answering the shell's configure, each step as WAYLAND_DEBUG
# tells it. Usage: wayland.sh DIALER
set -u
source "$(dirname "$0")/../common/owned.sh"
export XDG_RUNTIME_DIR=$run XDG_DATA_HOME=$run WAYLAND_DISPLAY=wayland-test
fail() { echo "FAIL: $*"; tail -n 20 "$run"/*.log; exit 1; }

owned weston --no-config --backend=headless-backend.so --shell=kiosk-shell.so --socket="$WAYLAND_DISPLAY" \
  --idle-time=0 >"$run/weston.log" 2>&1
await "weston's socket" test -S "$run/$WAYLAND_DISPLAY" || fail "weston did not open its socket"

: >"$run/dialer.log"
QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 owned "$1" >"$run/dialer.log" 2>&1
shown() {
  awk '/xdg_toplevel@[0-9]+\.set_title\("Quorin Dialer"\)/ { titled = 1 }
    titled && /-> wl_surface@[0-9]+\.attach\(wl_buffer@/ { painted = 1 }
    painted && /wl_surface@[0-9]+\.enter\(wl_output@/ { entered = 1 }
    entered && /-> xdg_surface@[0-9]+\.ack_configure\(/ { shown = 1; exit }
    END { exit !shown }' "$run/dialer.log"
}
shown_or_gone() { shown || ! kill -0 "${pids[1]}" 2>/dev/null; }
await "the window shown" shown_or_gone || fail "no window captioned \"Quorin Dialer\" was shown"
shown || fail "the program ended before its window was shown and answered the shell"
kill -0 "${pids[1]}" 2>/dev/null || fail "the program ended after its first frame"
echo "PASS: \"Quorin Dialer\" shown on Wayland, still running"
