#!/usr/bin/env bash
# The run command: installs what is missing, builds, plugs a simulated Radio Master
# with its radio unit and starts Kavrel against it, with the sample setup file and
# firmware parts. Confirm the notice, then press Update to send the firmware.
# Without a display ($DISPLAY unset) the program runs on a virtual display (Xvfb):
# the script confirms the notice, waits for the device to show, saves a screenshot
# (build/run/kavrel.png, or the path in Z5_SHOT), presses Update, saves
# build/run/updated.png once the parts have gone through, and ends.
# Z5_JOBS limits the build's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh
mkdir -p build
cmake -S . -B build/plain -DCMAKE_BUILD_TYPE=RelWithDebInfo > build/plain.configure.log 2>&1 \
  || { cat build/plain.configure.log; exit 1; }
cmake --build build/plain -j "${Z5_JOBS:-$(nproc)}" --target Kavrel z5sim kavrel_data kavrel_notice_files

bin=$root/build/plain/bin
run=$root/build/run
mkdir -p "$run"
rm -rf "$run/sys"

# The demo's own program folder: the data files, and a networks file whose active
# network holds the simulated Radio Master and its radio unit, so that the unit is
# listed beside it. The build's folder stays as it is.
program=$run/program
rm -rf "$program"
mkdir -p "$program"
cp -r "$bin"/Z5update.* "$bin"/infotext.*.rtf "$bin"/z5setup.cfg "$bin"/z5lang.cfg "$bin"/firmware "$program"/
cat > "$program/Z5NETS.XML" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE ns:qvl001 SYSTEM "Z5Nets.dtd" >
<Document Internal_Version="2.0.0" Version="1" Password="" PasswordIsActivated="False">
<Networks Quantity="1">
<Network PK="1" Activated="True" isQuickLock="False" Date="1.1.2026" Description="Demo">
<Hardwares Quantity="1">
<Hardware Type="RTUU" MAC_ID="0011223344556677" WChannel="11">
<Sensors Quantity="1">
<Sensor Type="RCU" MAC_ID="1000000000000001"/>
</Sensors>
</Hardware>
</Hardwares>
</Network>
</Networks>
</Document>
XML
export ZELTO5_PROGRAM_DIR=$program

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${SIM_PID:-}" ] && { echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; }
}
trap cleanup EXIT

# The simulated Radio Master; its own radio unit sits at address 1.
coproc SIM { exec "$bin/z5sim" --folder "$run/sys" radiomaster:RM0001; }
read -r -t 20 line <&"${SIM[0]}" || { echo "the simulator did not start" >&2; exit 1; }
export "${line?}"   # ZELTO5_SYSFS_ROOT=...
read -r -t 20 line <&"${SIM[0]}" && echo "simulator: $line"

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting Kavrel. Confirm the notice, then press Update; Exit ends it."
  "$bin/Kavrel"
  exit 0
fi

# No display: a virtual one, and a screenshot.
shot=${Z5_SHOT:-$run/kavrel.png}
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$run/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

"$bin/Kavrel" > "$run/kavrel.log" 2>&1 &
kavrel=$!
pids=("$kavrel" "${pids[@]}")

# The notice window is the program's 447 x 360 window; its button sits at the
# bottom centre.
notice=""
for _ in $(seq 100); do
  for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
    xdotool getwindowgeometry "$w" | grep -q 'Geometry: 447x360' && notice=$w
  done
  [ -n "$notice" ] && break
  kill -0 "$kavrel" 2>/dev/null || { cat "$run/kavrel.log"; echo "Kavrel ended" >&2; exit 1; }
  sleep 0.2
done
[ -n "$notice" ] || { echo "the notice window did not show" >&2; exit 1; }
sleep 1
import -window root "$run/notice.png"
xdotool mousemove --window "$notice" 223 332 click 1
sleep 6   # the device poll finds the Radio Master and reads its versions
import -window root "$shot"
echo "Screenshot of the notice window: $run/notice.png"
echo "Screenshot of Kavrel with the simulated Radio Master: $shot"

# Press Update (left of the main window's two large buttons) and let the radio
# unit's part go through with the pause after it.
main=""
for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
  xdotool getwindowgeometry "$w" | grep -q 'Geometry: 610x487' && main=$w
done
if [ -n "$main" ]; then
  xdotool mousemove --window "$main" 153 390 click 1
  sleep "${Z5_UPDATE_WAIT:-30}"
  import -window root "$run/updated.png"
  echo "Screenshot after the update: $run/updated.png"
fi
