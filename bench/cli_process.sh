#!/usr/bin/env bash
# Whole-process benchmark: `velkorin-cli read` from exec to exit, against velkorin-sim pacing the
# line at 115200 bit/s with a 2 ms turnaround, beside a pyserial script doing the same read and
# beside the wire-time floor. Uses hyperfine.
# Usage (from the repository root): bash bench/cli_process.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-200}
case "$runs" in
  '' | *[!0-9]* | 0) echo "usage: bash bench/cli_process.sh [RUNS], RUNS a whole number above 0" >&2; exit 2 ;;
esac

cmake --preset native >/dev/null
cmake --build --preset native --target velkorin-sim velkorin-cli >/dev/null

coproc SIM { exec build/native/sim/velkorin-sim --line-rate 115200 --turnaround 2; }
sim_pid=$SIM_PID
trap 'kill -TERM "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
read -r -t 30 -u "${SIM[0]}" terminal

# Wire time of the three steps: (5 + 17) + (5 + 41) + (5 + 23) bytes at 10 bits a byte, and the
# simulator's 2 ms per reply.
floor=$(awk 'BEGIN { printf "%.3f", (22 + 46 + 28) * 10 * 1000 / 115200 + 3 * 2 }')
echo "wire-time floor of one read: ${floor} ms"

out=$(mktemp)
hyperfine -N --warmup 10 --runs "$runs" --export-json "$out" \
  -n velkorin-cli "build/native/cli/velkorin-cli read --port $terminal --json" \
  -n pyserial "/usr/bin/python3 bench/pyserial_read.py $terminal"
/usr/bin/python3 - "$out" "$floor" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
floor = float(sys.argv[2])
print("\n| program | median ms | mean ms | user+sys CPU ms | over the floor ms |")
print("|---|---:|---:|---:|---:|")
for name, r in results.items():
    median = r["median"] * 1000
    print("| %s | %.2f | %.2f | %.2f | %.2f |" % (name, median, r["mean"] * 1000,
          (r["user"] + r["system"]) * 1000, median - floor))
cli, py = results["velkorin-cli"]["median"], results["pyserial"]["median"]
print("\nvelkorin-cli / pyserial (median): %.2f" % (cli / py))
PY
rm -f "$out"
