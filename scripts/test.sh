#!/usr/bin/env bash
# Sets everything up, builds, and runs every test through ctest; then runs
# each fuzz target for a short, bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
ctest --test-dir build --output-on-failure -j2 --timeout 300
scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
