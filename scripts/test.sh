#!/usr/bin/env bash
# Sets everything up, builds, runs each fuzz target for a short, bounded
# time, then runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
ctest --test-dir build --output-on-failure -j2 --timeout 300
