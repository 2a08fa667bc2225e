#!/usr/bin/env bash
# Builds the Debian package dialer_VERSION_ARCH.deb into the top folder of the
# clone: a Release build of the program alone, in build-package/ (made afresh
# each time), with Debian's hardening flags, stripped by cpack, and its
# library dependencies computed by dpkg-shlibdeps.
# Installs what it needs when missing (as setup.sh does: root or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

# cpack's DEB generator runs dpkg-shlibdeps (dpkg-dev) on what `file` calls
# an ELF object; the rest builds the program.
scripts/setup.sh cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libphonenumber-dev \
  qt6-l10n-tools libebook1.2-dev libedataserver1.2-dev dpkg-dev file

# The flags Debian builds its own packages with (hardening, reproducible
# paths; every hardening option), less -g: cpack strips the symbols anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
for var in CPPFLAGS CXXFLAGS LDFLAGS; do
  export "$var=$(dpkg-buildflags --get "$var")"
done
# CMake reads CXXFLAGS but not CPPFLAGS.
export CXXFLAGS="$CPPFLAGS $CXXFLAGS"

rm -rf build-package
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DDIALER_TESTS=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
(cd build-package && cpack -G DEB >/dev/null)
deb=$(cd build-package && ls dialer_*.deb)
mv "build-package/$deb" .
echo "package.sh: built $deb"
dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends Recommends
