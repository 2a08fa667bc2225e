#!/usr/bin/env bash
# Sets everything up, builds, runs every test through ctest, then runs each
# fuzz target for a short, bounded time (FUZZ_SECONDS, default 20).
#
# ctest and the fuzzing each run whatever the other did; the run fails at the
# end if either failed, and the closing summary names the step and repeats its
# error lines, so a failure is never buried in the output above it.
set -uo pipefail
cd "$(dirname "$0")/.." || exit

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
summary=()
failed=0

# step NAME COMMAND...: runs COMMAND with its output shown and kept, and
# records how it ended and how long it took.
step() {
  local name=$1 start=$SECONDS status
  shift
  echo "== $name"
  "$@" 2>&1 | tee "$logs/$name.log"
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ]; then
    summary+=("$(printf '%-6s ok      %4d s' "$name" $((SECONDS - start)))")
    return 0
  fi
  failed=1
  summary+=("$(printf '%-6s FAILED  %4d s  (exit %d)' "$name" $((SECONDS - start)) "$status")")
  # The lines that say what broke: compiler and linker errors, missing
  # files or packages, failed tests, sanitizer and fuzzer findings.
  while IFS= read -r line; do summary+=("         $line"); done < <(
    grep -E -i 'error|cannot find|not found|no such|not installed|fail|\*\*\*|==[0-9]+==' \
      "$logs/$name.log" | grep -v -E '^(== |PASS |[0-9]+% tests passed)' | head -n 12)
  return "$status"
}

finish() {
  echo
  echo "== summary"
  printf '%s\n' "${summary[@]}"
  exit "$failed"
}

# Nothing can be tested without the packages and the build.
step setup scripts/setup.sh || finish
step build scripts/build.sh || finish
step ctest ctest --test-dir build --output-on-failure -j2 --timeout 300
step fuzz scripts/fuzz.sh "${FUZZ_SECONDS:-20}"
finish
