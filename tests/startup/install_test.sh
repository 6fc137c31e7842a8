#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks the installed tree: the files,
# and the installed program starting with its data from share/zelto5 and its
# language list in the user's folder. (Clients of the installed library:
# examples/install_test.sh.)
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/Kavrel lib/libtovamod.so lib/libtovamod.so.0 lib/libz5platform.so.0 lib/libz5d2xx.so.0 \
         include/tovamod.h include/z5widestring.h lib/pkgconfig/tovamod.pc \
         lib/cmake/tovamod/tovamodConfig.cmake lib/cmake/tovamod/tovamodConfigVersion.cmake \
         share/zelto5/Z5update.uk share/zelto5/Z5update.ar share/zelto5/z5setup.cfg share/zelto5/z5lang.cfg \
         share/zelto5/infotext.uk.rtf share/zelto5/infotext.vi.rtf share/zelto5/firmware/rtuu_part1.bin; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done
[ "$(ls "$prefix"/share/zelto5/Z5update.* | wc -l)" -eq 24 ] || fail "not 24 language files"
[ "$(ls "$prefix"/share/zelto5/infotext.*.rtf | wc -l)" -eq 13 ] || fail "not 13 notice files"
readelf -d "$prefix/bin/Kavrel" | grep -q 'NEEDED.*libtovamod.so.0' || fail "Kavrel does not link tovamod at load time"
readelf -d "$prefix/bin/Kavrel" | grep -q 'RUNPATH.*\$ORIGIN/../lib' || fail "Kavrel has no RUNPATH to ../lib"

# The installed program starts from bin with its data in share/zelto5. Run as a
# user who cannot write there (nobody, when the test runs as root), it keeps the
# language list and the networks file in its configuration folder.
cfg=$work/config
mkdir -p "$cfg"
run=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  chmod 755 "$work"
  chown 65534:65534 "$cfg"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
status=0
"${run[@]}" env -u ZELTO5_PROGRAM_DIR QT_QPA_PLATFORM=offscreen HOME="$cfg" XDG_CONFIG_HOME="$cfg" \
  XDG_RUNTIME_DIR="$cfg" ZELTO5_SYSFS_ROOT="$work/nosys" timeout 3 "$prefix/bin/Kavrel" >"$work/out" 2>&1 || status=$?
[ $status -eq 124 ] || { cat "$work/out"; fail "Kavrel ended early ($status)"; }
if [ ${#run[@]} -gt 0 ] || [ "$(id -u)" -ne 0 ]; then
  [ -f "$cfg/zelto5/z5lang.cfg" ] || { cat "$work/out"; fail "language list not in the configuration folder"; }
  cmp -s "$cfg/zelto5/z5lang.cfg" "$prefix/share/zelto5/z5lang.cfg" || fail "language list is not the shipped one"
fi
echo "install tree ok"
