#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and sanitizers and runs each one
# for the given number of seconds (default 60).
#
# Each target starts from what earlier runs found: its grown corpus is kept
# outside the repository, in $DIALER_FUZZ_CORPUS/<target> (by default
# ~/.cache/dialer/fuzz-corpus), and the seeds under fuzz/corpus/<target> are
# read beside it every time. Every target runs even when one finds a fault;
# the exit status is non-zero if any did, and a closing table gives each
# target's executions, coverage and corpus.
set -uo pipefail
cd "$(dirname "$0")/.." || exit
seconds=${1:-60}
corpus_home=${DIALER_FUZZ_CORPUS:-${XDG_CACHE_HOME:-$HOME/.cache}/dialer/fuzz-corpus}

CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DDIALER_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit
cmake --build build-fuzz -j"$(nproc)" || exit

# The longest input each target needs to reach all of its code. The card
# file's string lengths escalate from 8 to 16, 32 and 64 bits: the writer's
# 32-bit form needs a string of 65,534 characters, which is 131,068 bytes
# when wide. The vCard seeds include a 482 KB export.
max_len_for() {
  case $1 in
    cardfile) echo 262144 ;;
    *) echo 1048576 ;;
  esac
}

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
failed=0
rows=()
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target" | sed 's/^fuzz_//')
  kept="$corpus_home/$name"
  mkdir -p "$kept" || exit
  before=$(find "$kept" -type f | wc -l)
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  echo "fuzzing $name for ${seconds}s from $before kept inputs (max_len $(max_len_for "$name"))"
  # New inputs go to the first folder, the kept corpus; the seeds are only read.
  "$target" -max_total_time="$seconds" -max_len="$(max_len_for "$name")" -print_final_stats=1 \
    -artifact_prefix="$logs/$name-" "$kept" "${seeds[@]}" >"$logs/$name.log" 2>&1
  status=$?
  tail -n 12 "$logs/$name.log"
  after=$(find "$kept" -type f | wc -l)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -n 1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$logs/$name.log" | tail -n 1)
  cov=$(grep -o -E 'cov: [0-9]+ ft: [0-9]+' "$logs/$name.log" | tail -n 1)
  if [ "$status" -eq 0 ]; then
    verdict=ok
  else
    verdict="FAILED (exit $status)"
    failed=1
    grep -E 'ERROR|SUMMARY|deadly signal|Test unit written' "$logs/$name.log" | head -n 8
    for artifact in "$logs/$name"-*; do
      [ -e "$artifact" ] || continue
      mkdir -p build-fuzz/findings && cp "$artifact" build-fuzz/findings/
      echo "kept the failing input: build-fuzz/findings/$(basename "$artifact")"
    done
  fi
  rows+=("$(printf '%-14s %-8s execs %-10s %6s/s  %-20s corpus %d -> %d' \
    "$name" "$verdict" "${execs:-?}" "${speed:-?}" "${cov:-cov: ?}" "$before" "$after")")
done
echo
echo "fuzzing summary (kept corpus: $corpus_home)"
printf '%s\n' "${rows[@]}"
exit "$failed"
