#!/usr/bin/env bash
# Runs the suite's ctest stages while twice as many spinning processes as cores
# keep the machine busy, so that tests which only pass on an idle machine show.
# Usage: scripts/stress-tests.sh [ROUNDS]          (default 2 rounds)
#   STAGES="plain asan tsan"  stages to run (default "plain asan")
#   SPINNERS=N                spinning processes (default 2 x nproc)
#   CTEST_ARGS="-R Pattern"   extra ctest arguments, e.g. to narrow the run
# Builds missing stages as scripts/test.sh does; an existing build is brought up
# to date. Prints every failed test with its output and exits non-zero when any
# round of any stage failed. Logs: build/stress/.
set -uo pipefail
cd "$(dirname "$0")/.."

ROUNDS=${1:-2}
read -r -a STAGE_LIST <<< "${STAGES:-plain asan}"
JOBS=${Z5_JOBS:-$(nproc)}
SPIN_COUNT=${SPINNERS:-$((2 * $(nproc)))}
read -r -a EXTRA <<< "${CTEST_ARGS:-}"
LOGS=build/stress
mkdir -p "$LOGS"

SPIN_PIDS=()
stop_spinners() {
  local pid
  for pid in "${SPIN_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${SPIN_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  SPIN_PIDS=()
}
trap stop_spinners EXIT
trap 'stop_spinners; exit 130' INT
trap 'stop_spinners; exit 143' TERM

build_stage() {
  local dir=build/$1; shift
  if [ ! -f "$dir/CTestTestfile.cmake" ]; then
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; return 1; }
  fi
  cmake --build "$dir" -j "$JOBS" > "$LOGS/build-${dir##*/}.log" 2>&1 \
    || { tail -50 "$LOGS/build-${dir##*/}.log"; return 1; }
}

run_stage() {  # stage, log file
  case $1 in
    plain)
      ctest --test-dir build/plain -j "$JOBS" --output-on-failure --no-tests=error -LE soak "${EXTRA[@]}" ;;
    asan)
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        ctest --test-dir build/asan -j "$JOBS" --output-on-failure --no-tests=error -LE 'nosan|soak' "${EXTRA[@]}" ;;
    tsan)
      ctest --test-dir build/tsan -j "$JOBS" --output-on-failure -L threaded "${EXTRA[@]}" ;;
  esac > "$2" 2>&1
}

for stage in "${STAGE_LIST[@]}"; do
  echo "=== building $stage ==="
  case $stage in
    plain) build_stage plain ;;
    asan) build_stage asan -DZELTO5_SANITIZE=address ;;
    tsan) build_stage tsan -DZELTO5_SANITIZE=thread -DZELTO5_BUILD_UPDATER=OFF ;;
    *) echo "unknown stage $stage"; exit 2 ;;
  esac || exit 1
done

echo "=== $SPIN_COUNT spinners on $(nproc) cores, $ROUNDS round(s) of: ${STAGE_LIST[*]} ==="
for ((i = 0; i < SPIN_COUNT; ++i)); do
  ( while :; do :; done ) &
  SPIN_PIDS+=($!)
done

declare -A FAILED_ROUNDS
failures=0
for ((round = 1; round <= ROUNDS; ++round)); do
  for stage in "${STAGE_LIST[@]}"; do
    log=$LOGS/round$round-$stage.log
    start=$SECONDS
    if run_stage "$stage" "$log"; then
      echo "round $round $stage: passed ($((SECONDS - start)) s)"
    else
      failures=$((failures + 1))
      FAILED_ROUNDS[$stage]=$(( ${FAILED_ROUNDS[$stage]:-0} + 1 ))
      echo "round $round $stage: FAILED ($((SECONDS - start)) s), log $log"
      # Each failed test with its output, as ctest printed it.
      awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: /{ keep = ($0 !~ / Passed /) } /^ +Start +[0-9]+: /{ next } keep' "$log"
      sed -n '/tests failed out of/,$p' "$log"
    fi
  done
done
stop_spinners

echo "=== summary: $ROUNDS round(s) ==="
for stage in "${STAGE_LIST[@]}"; do
  echo "$stage: $((ROUNDS - ${FAILED_ROUNDS[$stage]:-0}))/$ROUNDS rounds green"
done
[ "$failures" -eq 0 ]
