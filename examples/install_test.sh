#!/usr/bin/env bash
# A client of the installed library, as its user builds it: the build installed
# into a fresh prefix, list_devices.c built once with the pkg-config file and once
# with the CMake package, each started as built (no LD_LIBRARY_PATH, no ldconfig)
# against a simulated device.
#   install_test.sh BUILD_DIR SOURCE_DIR Z5SIM
set -euo pipefail
build=$1 source=$2 sim=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
unset LD_LIBRARY_PATH

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in lib/libtovamod.so lib/libtovamod.so.0 lib/libz5platform.so lib/libz5platform.so.0 lib/libz5d2xx.so.0 \
         include/tovamod.h include/z5widestring.h lib/pkgconfig/tovamod.pc \
         lib/cmake/tovamod/tovamodConfig.cmake lib/cmake/tovamod/tovamodConfigVersion.cmake; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
# The library finds the layers it links beside itself.
readelf -d "$prefix/lib/libtovamod.so.0" | grep -q 'RUNPATH.*\$ORIGIN' || fail "libtovamod has no RUNPATH \$ORIGIN"

# Through pkg-config, with nothing but what it gives.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ -n "$(pkg-config --modversion tovamod)" ] || fail "pkg-config does not know tovamod"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror "$source/examples/list_devices.c" -o "$work/list_pc" \
   $(pkg-config --cflags --libs tovamod) || fail "the client does not build with pkg-config"

# Through the CMake package.
mkdir -p "$work/cm"
cat > "$work/cm/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(client C)
find_package(tovamod 0.1 REQUIRED)
add_executable(list_cm $source/examples/list_devices.c)
target_link_libraries(list_cm PRIVATE tovamod::tovamod)
CMAKE
cmake -S "$work/cm" -B "$work/cm/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cm/build" >/dev/null || fail "the client does not build with the CMake package"

for client in "$work/list_pc" "$work/cm/build/list_cm"; do
  ldd "$client" | grep -q 'not found' && { ldd "$client"; fail "$client does not find its libraries"; }
  "$source/examples/run_with_simulator.sh" "$sim" "$client" 1 -- radiomaster:INST1 >"$work/list.out" 2>&1 \
    || { cat "$work/list.out"; fail "$client failed"; }
  grep -q "serial INST1" "$work/list.out" || { cat "$work/list.out"; fail "$client did not list the simulated device"; }
done
echo "installed library ok: pkg-config and CMake package clients run"
