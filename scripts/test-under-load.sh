#!/usr/bin/env bash
# The whole ctest suite under load, as CI runs it (ctest -j2 at normal
# priority) while two busy loops take both cores' spare time: N runs (default
# 3), then the failures per test. A test that fails only here waits for time
# rather than for the event it means.
#
#   scripts/test-under-load.sh [N]
#
# Builds first when build/ is missing; exits non-zero if any run failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit
runs=${1:-3}
[[ $runs =~ ^[1-9][0-9]{0,2}$ ]] || { echo "usage: $0 [N], N from 1 to 999 runs" >&2; exit 2; }
[ -f build/CTestTestfile.cmake ] || bash scripts/build.sh || exit

logs=$(mktemp -d)
busy=()
# Only the loops started here are ended, by their process ids.
trap 'kill "${busy[@]}" 2>/dev/null; wait "${busy[@]}" 2>/dev/null; rm -rf "$logs"' EXIT
for _ in 1 2; do
  yes >/dev/null &
  busy+=($!)
done

declare -A failures=()
failed_runs=0
for run in $(seq "$runs"); do
  start=$SECONDS
  ctest --test-dir build --output-on-failure -j2 --timeout 300 >"$logs/$run.log" 2>&1
  status=$?
  # ctest's closing list: "  12 - test_app (Failed)", "  14 - name with spaces (Timeout)".
  mapfile -t names < <(sed -n '/tests failed out of/,$p' "$logs/$run.log" |
    sed -n -E 's/^[[:space:]]*[0-9]+ - (.*) \(([A-Za-z ]+)\)$/\1 (\2)/p')
  for name in "${names[@]}"; do failures[$name]=$((${failures[$name]:-0} + 1)); done
  if [ "$status" -ne 0 ]; then
    failed_runs=$((failed_runs + 1))
    [ "${#names[@]}" -gt 0 ] || failures["ctest itself (exit $status)"]=$((${failures["ctest itself (exit $status)"]:-0} + 1))
    cp "$logs/$run.log" "build/test-under-load-$run.log"
  fi
  printf 'run %d of %d: %s in %d s\n' "$run" "$runs" "$([ "$status" -eq 0 ] && echo passed || echo FAILED)" \
    $((SECONDS - start))
done

echo "== under load: $((runs - failed_runs)) of $runs runs passed"
for name in "${!failures[@]}"; do printf '%3d of %d  %s\n' "${failures[$name]}" "$runs" "$name"; done | sort -rn
[ "$failed_runs" -eq 0 ] || echo "(the failed runs' output: build/test-under-load-N.log)"
[ "$failed_runs" -eq 0 ]
