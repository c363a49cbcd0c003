#!/usr/bin/env bash
# Serial round-trip benchmark: ":O", ":P", ":Q" through SerialLink and through pyserial against
# velkorin-sim pacing the line at 115200 bit/s with a 2 ms turnaround.
# Usage (from the repository root): bash bench/run.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-500}
case "$rounds" in
  '' | *[!0-9]* | 0) echo "usage: bash bench/run.sh [ROUNDS], ROUNDS a whole number above 0" >&2; exit 2 ;;
esac

cmake --preset native >/dev/null
cmake --build --preset native --target velkorin-sim velkorin-bench-serial >/dev/null

run_against_sim() {
  coproc SIM { exec build/native/sim/velkorin-sim --line-rate 115200 --turnaround 2; }
  local pid=$SIM_PID terminal
  # The simulator goes whatever happens to the benchmark.
  trap 'kill -TERM "$pid" 2>/dev/null || true' EXIT
  read -r -t 30 -u "${SIM[0]}" terminal
  "$@" "$terminal" "$rounds"
  kill -TERM "$pid"
  wait "$pid"
  trap - EXIT
}

echo "== velkorin SerialLink (${rounds} rounds, times in ms) =="
run_against_sim build/native/bench/velkorin-bench-serial
echo
echo "== pyserial $(/usr/bin/python3 -c 'import serial; print(serial.__version__)') (${rounds} rounds, times in ms) =="
run_against_sim /usr/bin/python3 bench/pyserial_round_trip.py
