#!/usr/bin/env bash
# Configures and builds the dialer, its tests and benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build_type=${BUILD_TYPE:-RelWithDebInfo}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DDIALER_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
