#!/usr/bin/env bash
# Runs a Windows program under Wine with the native simulated gateway as the far end: the
# simulator's terminal becomes COM42 of the Wine prefix through a dosdevices symlink.
# Usage: run_wine_sim.sh WINE VELKORIN_SIM EXE [ARGS...]
set -euo pipefail
wine=$1 sim=$2
shift 2

if [ ! -x "$sim" ]; then
  echo "velkorin-sim not found at $sim;" \
    "build it first: cmake --preset native && cmake --build --preset native --target velkorin-sim" >&2
  exit 1
fi
prefix=${WINEPREFIX:-$HOME/.wine}
if [ ! -d "$prefix/dosdevices" ]; then
  echo "no Wine prefix at $prefix (run wineboot --init first)" >&2
  exit 1
fi

link="$prefix/dosdevices/com42"
coproc SIM { exec "$sim" --link "$link"; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT

# The simulator prints its terminal's path once it serves: wait for that line, not for a time.
if ! read -r -t 30 -u "${SIM[0]}" terminal; then
  echo "velkorin-sim did not start" >&2
  exit 1
fi
echo "simulated gateway on $terminal as COM42"

status=0
VELKORIN_TEST_COM=COM42 "$wine" "$@" || status=$?

kill -TERM "$sim_pid"
sim_status=0
wait "$sim_pid" || sim_status=$?
trap - EXIT
if [ "$sim_status" -ne 0 ]; then
  echo "velkorin-sim exited with $sim_status" >&2
  exit 1
fi
exit "$status"
