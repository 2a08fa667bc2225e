# Sourced first by a test script. The script ends when whatever started it
# ends (ctest killed or timed out included: the kernel's parent-death signal,
# which no trap needs to see), and `owned COMMAND...` starts a command in the
# background, a child of the script itself, that ends when the script does,
# however it ends ($! is its id). `await WHAT CONDITION...` waits for an
# event, up to a minute, then fails naming what it awaited. `run` is the
# script's own folder (0700), gone at its end after the owned commands.
if [ "${OWNED_SCRIPT:-}" != "$0" ]; then
  export OWNED_SCRIPT=$0
  exec setpriv --pdeathsig TERM -- bash "$0" "$@"
fi
run=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait; rm -rf "$run"' EXIT
owned() { setpriv --pdeathsig KILL -- "$@" & pids+=($!); }
await() {
  local what=$1 end=$((SECONDS + 60))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || { echo "FAIL: waited 60 s for $what"; return 1; }
    sleep 0.1
  done
}
