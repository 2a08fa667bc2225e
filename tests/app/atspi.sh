#!/usr/bin/env bash
# The screens as a screen reader gets them: the dialer under Xvfb with Qt's
# AT-SPI bridge on, on a session bus and accessibility bus of its own, walked
# by atspi_walk.py in English and in Spanish. Usage: atspi.sh DIALER CARDFILE
set -u
source "$(dirname "$0")/../common/owned.sh"
export XDG_RUNTIME_DIR=$run XDG_DATA_HOME=$run HOME=$run QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
mkdir -p "$run/dialer" && cp "$2" "$run/dialer/Card.bin"
owned dbus-daemon --session --nofork --print-address=1 >"$run/bus" 2>"$run/bus.log"
owned Xvfb -displayfd 3 -screen 0 360x720x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.log" 2>&1
await "the session bus's address" test -s "$run/bus" || { cat "$run/bus.log"; exit 1; }
await "Xvfb's display" test -s "$run/display" || { cat "$run/xvfb.log"; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$run/bus")
export DISPLAY=:$(cat "$run/display") DBUS_SESSION_BUS_ADDRESS
# Its own bus for accessibility ends with it (the launcher asks for that).
owned /usr/libexec/at-spi-bus-launcher --launch-immediately >"$run/bus-launcher.log" 2>&1
status=0
for lang in C es; do
  LANG=$([ $lang = C ] && echo C.UTF-8 || echo es_ES.UTF-8) owned "$1" tel:+15550100 >"$run/dialer-$lang.log" 2>&1
  dialer=$!
  echo "== $lang"
  owned /usr/bin/python3 "$(dirname "$0")/atspi_walk.py" $lang
  wait $! || { status=1; cat "$run/dialer-$lang.log"; }
  kill $dialer 2>/dev/null
  wait $dialer 2>/dev/null
done
exit $status
