#!/usr/bin/env bash
# velkorin-cli.exe under Wine reads the native simulator as COM42: it must exit 0 and print the
# simulator's default configuration.
# Usage: wine_cli_read.sh WINE VELKORIN_SIM VELKORIN_CLI_EXE
set -euo pipefail
here=$(dirname "$0")
out=$(bash "$here/../serial/run_wine_sim.sh" "$1" "$2" "$3" read --port COM42 --json)
echo "$out"
expected='{"mac":"00-1A-2B-3C-4D-5E","ipAddress":"192.168.0.100","subnetMask":"255.255.255.0"'
if ! grep -qF "$expected" <<<"$out"; then
  echo "velkorin-cli.exe did not print the simulator's configuration" >&2
  exit 1
fi
