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

# Press Update (left of the main window's two large buttons) and let the three
# parts go through with their pauses.
main=""
for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
  xdotool getwindowgeometry "$w" | grep -q 'Geometry: 610x487' && main=$w
done
if [ -n "$main" ]; then
  xdotool mousemove --window "$main" 153 390 click 1
  sleep "${Z5_UPDATE_WAIT:-45}"
  import -window root "$run/updated.png"
  echo "Screenshot after the update: $run/updated.png"
fi
