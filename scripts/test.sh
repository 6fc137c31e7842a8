#!/usr/bin/env bash
# The test command: installs what is missing, then configures, builds and runs the
# whole suite in a plain build and an AddressSanitizer + UndefinedBehaviorSanitizer
# build, the threaded tests under ThreadSanitizer, and the fuzz targets briefly.
# Usage: scripts/test.sh [plain] [asan] [tsan] [fuzz]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

JOBS=${Z5_JOBS:-$(nproc)}
STAGES=("$@")
[ ${#STAGES[@]} -gt 0 ] || STAGES=(plain asan tsan fuzz)

configure_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$JOBS"
}

mkdir -p build
for stage in "${STAGES[@]}"; do
  echo "=== $stage ==="
  case $stage in
    plain)
      configure_build build/plain
      ctest --test-dir build/plain -j "$JOBS" --output-on-failure --no-tests=error -LE soak
      ;;
    asan)
      configure_build build/asan -DZELTO5_SANITIZE=address
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
        ctest --test-dir build/asan -j "$JOBS" --output-on-failure --no-tests=error -LE 'nosan|soak'
      ;;
    tsan)
      configure_build build/tsan -DZELTO5_SANITIZE=thread -DZELTO5_BUILD_UPDATER=OFF
      ctest --test-dir build/tsan -j "$JOBS" --output-on-failure -L threaded
      ;;
    fuzz)
      CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZELTO5_FUZZ=ON -DZELTO5_BUILD_UPDATER=ON > build/fuzz.configure.log 2>&1 || { cat build/fuzz.configure.log; exit 1; }
      cmake --build build/fuzz -j "$JOBS" --target z5_fuzzers
      ctest --test-dir build/fuzz -j "$JOBS" --output-on-failure -L fuzz
      ;;
    *) echo "unknown stage $stage"; exit 2 ;;
  esac
done
echo "=== all stages passed: ${STAGES[*]} ==="
