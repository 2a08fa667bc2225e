#!/usr/bin/env bash
# Installs what the dialer needs to build, run and test on Debian 12, or,
# given package names, just those (scripts/package.sh does so).
# Run as root (or with sudo). Installs only what is missing.
#
# Everything is named here and installed without Recommends, so the list
# must be complete on its own: a package that only arrives as somebody's
# Recommends on a machine that has been used before is missing on a fresh one.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  # Numbers made international against the home country, and emergency
  # numbers known per country; the call history through Qt SQL's SQLite
  # driver, a plugin.
  libphonenumber-dev libqt6sql6-sqlite
  # lrelease builds the translations; Qt's own translations (its message
  # boxes' buttons) are loaded at run time.
  qt6-l10n-tools qt6-translations-l10n
  dbus-daemon python3-dbusmock
  # The call tests run Debian's own ModemManager daemon on a private bus.
  # Where systemd runs, installing it also starts the system's daemon, which
  # does nothing without a modem.
  modemmanager
  # The call screen's tests: GNOME Calls' daemon beside our call, callaudiod
  # over a private PulseAudio, and dbus-monitor to see what callaudiod is asked.
  gnome-calls callaudiod pulseaudio dbus-bin
  fonts-liberation2 fonts-dejavu-core
  xdg-utils
  # The fuzz build links clang's libFuzzer and sanitizer runtimes, which
  # clang only recommends.
  clang libclang-rt-14-dev
  xvfb xauth
  # The screens as a screen reader reads them: the accessibility bus and its
  # Python client.
  at-spi2-core python3-pyatspi
  # The Wayland platform, and a headless compositor to start it under.
  qt6-wayland weston
  # Contacts from Evolution Data Server: libebook to build against, and the
  # daemons the contact tests run on a private bus, with the name owner of
  # theirs that answers nothing.
  libebook1.2-dev libedataserver1.2-dev evolution-data-server python3-dbus
)
[ "$#" -eq 0 ] || packages=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ "${#missing[@]}" -gt 0 ] || exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup.sh: missing Debian packages (${missing[*]}); run this script as root (su -c 'bash scripts/setup.sh'), or install sudo." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
# apt and dpkg print a screenful per package; keep it for a failure only.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "setup.sh: installing ${#missing[@]} Debian packages and what they depend on: ${missing[*]}"
if ! { "${sudo_cmd[@]}" apt-get update -qq &&
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "setup.sh: installing the packages failed (apt's last lines above)" >&2
  exit 1
fi
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$log" || true
