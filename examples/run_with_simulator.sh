#!/usr/bin/env bash
# Runs an example client against simulated devices:
#   run_with_simulator.sh Z5SIM CLIENT [CLIENT-ARGS...] -- DEVICE...
# The devices are plugged into a fresh folder that the client's library scans;
# its program and configuration folders are fresh too.
set -euo pipefail
sim=$1 client=$2
shift 2
args=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do args+=("$1"); shift; done
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sys" "$work/program" "$work/config"

coproc SIM { exec "$sim" --folder "$work/sys" "$@"; }
# The first line names the folder; one "plugged" line per device follows.
read -r -t 20 line <&"${SIM[0]}" || { echo "simulator did not start" >&2; exit 1; }
for _ in "$@"; do read -r -t 20 line <&"${SIM[0]}"; echo "simulator: $line"; done

status=0
ZELTO5_SYSFS_ROOT="$work/sys" ZELTO5_PROGRAM_DIR="$work/program" XDG_CONFIG_HOME="$work/config" \
  "$client" "${args[@]}" || status=$?
echo quit >&"${SIM[1]}"
wait "$SIM_PID" || true
exit $status
