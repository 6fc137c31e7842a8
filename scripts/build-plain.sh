#!/usr/bin/env bash
# Installs what is missing, configures the plain build (build/plain) and builds the
# given targets in it. Shared by the commands that run programs from the build.
#   scripts/build-plain.sh TARGET...     (Z5_JOBS limits the parallel jobs)
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build
cmake -S . -B build/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo > build/plain.configure.log 2>&1 \
  || { cat build/plain.configure.log; echo "configuring build/plain failed (log: build/plain.configure.log)" >&2; exit 1; }
cmake --build build/plain -j "${Z5_JOBS:-$(nproc)}" --target "$@"
