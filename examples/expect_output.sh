#!/usr/bin/env bash
# Runs a command, shows its output, and checks that every PATTERN (extended
# regular expression) matches a line of it, in the given order:
#   expect_output.sh PATTERN... -- COMMAND [ARGS...]
set -uo pipefail
patterns=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do patterns+=("$1"); shift; done
shift
out=$("$@" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 0 ] || { echo "expect_output: exit status $status" >&2; exit 1; }
rest=$out
for p in "${patterns[@]}"; do
  line=$(printf '%s\n' "$rest" | grep -n -m1 -E -- "$p") || { echo "expect_output: no line matches '$p' (in order)" >&2; exit 1; }
  rest=$(printf '%s\n' "$rest" | tail -n +$(( ${line%%:*} + 1 )))
done
