#!/usr/bin/env bash
# The run command: installs what is missing, builds the programs (Kavrel, z5sim,
# the example client, the benchmark programs), plugs a simulated Radio Master with
# its radio unit (or the device KIND names, below) and starts Kavrel against it,
# with the sample setup file and firmware parts. Confirm the notice, then press
# Update to send the firmware.
# Without a display ($DISPLAY unset) the program runs on a virtual display (Xvfb):
# the script confirms the notice, waits for the device to show, saves a screenshot
# (build/run/kavrel.png, or the path in Z5_SHOT), presses Update, waits for the
# update to end (at most Z5_UPDATE_TIMEOUT seconds, default 300), prints the final
# status and saves build/run/updated.png when the update went through.
# Either way the script ends with the last status of the main window and exits
# non-zero when the update failed or the program ended in error.
# Z5_JOBS limits the build's parallel jobs.
#   scripts/run.sh [KIND]   the simulated device: radiomaster (default), deskport,
#                           starterport, datalogger, timer62, counter, lightspeed,
#                           dds or xray
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
kind=${1:-radiomaster}
case $kind in
  radiomaster|deskport|starterport|datalogger|timer62|counter|lightspeed|dds|xray) ;;
  *) echo "usage: scripts/run.sh [radiomaster|deskport|starterport|datalogger|timer62|counter|lightspeed|dds|xray]" >&2
     exit 2 ;;
esac

bash scripts/build-plain.sh z5_programs

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

# Kavrel mirrors its status panel into this file (panel=, status=, info= lines).
status_file=$run/status.txt
rm -f "$status_file"
export ZELTO5_STATUS_FILE=$status_file
field() { sed -n "s/^$1=//p" "$status_file" 2>/dev/null || true; }
readonly red='#ff0000' green='#c0dcc0'
report() {
  if [ -f "$status_file" ]; then
    echo "Status: $(field status)"
    echo "Info: $(field info)"
  else
    echo "Kavrel showed no status"
  fi
}

pids=()
runtime=""
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [ -n "${SIM_PID:-}" ] && { echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; }
  [ -n "$runtime" ] && rm -rf "$runtime"
  return 0
}
trap cleanup EXIT

# Qt wants a runtime folder of the user's own, mode 0700.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -d "$XDG_RUNTIME_DIR" ]; then
  runtime=$(mktemp -d "${TMPDIR:-/tmp}/kavrel-runtime.XXXXXX")
  export XDG_RUNTIME_DIR=$runtime
fi

# The simulated device; a Radio Master's own radio unit sits at address 1.
coproc SIM { exec "$bin/z5sim" --folder "$run/sys" "$kind:DEMO0001"; }
read -r -t 20 line <&"${SIM[0]}" || { echo "the simulator did not start" >&2; exit 1; }
export "${line?}"   # ZELTO5_SYSFS_ROOT=...
read -r -t 20 line <&"${SIM[0]}" && echo "simulator: $line"

if [ -n "${DISPLAY:-}" ]; then
  echo "Starting Kavrel. Confirm the notice, then press Update; Exit ends it."
  rc=0
  "$bin/Kavrel" || rc=$?
  report
  [ "$rc" -eq 0 ] || { echo "Kavrel ended with exit status $rc" >&2; exit "$rc"; }
  [ "$(field panel)" != "$red" ] || { echo "The last update failed." >&2; exit 1; }
  exit 0
fi

# No display: a virtual one, screenshots, and the update pressed by the script.
shot=${Z5_SHOT:-$run/kavrel.png}
rm -f "$run/notice.png" "$shot" "$run/updated.png" "$run/failed.png"
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$run/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || { cat "$run/xvfb.log"; echo "the virtual display did not start" >&2; exit 1; }

"$bin/Kavrel" > "$run/kavrel.log" 2>&1 &
kavrel=$!
pids=("$kavrel" "${pids[@]}")

fail() {
  report
  echo "$*" >&2
  echo "Program output ($run/kavrel.log):" >&2
  tail -n 20 "$run/kavrel.log" >&2
  exit 1
}
alive() { kill -0 "$kavrel" 2>/dev/null; }
# The visible Kavrel window of the given size, by its geometry.
window_of_size() {
  local w
  for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q "Geometry: $1\$" && { echo "$w"; return; }
  done
}
# Prints the window's id once it shows; fails when it does not or Kavrel ends.
wait_window() {
  local w
  for _ in $(seq 100); do
    w=$(window_of_size "$1")
    [ -n "$w" ] && { echo "$w"; return 0; }
    alive || return 1
    sleep 0.2
  done
  return 1
}

# The notice window (447 x 360); its button sits at the bottom centre.
notice=$(wait_window 447x360) || fail "The notice window did not show."
sleep 1
import -window root "$run/notice.png"
echo "Screenshot of the notice window: $run/notice.png"
xdotool mousemove --window "$notice" 223 332 click 1
main=$(wait_window 610x487) || fail "The main window did not show."

# The device shows once the status has settled (the poll passes every 500 ms).
# Update is the left of the two large buttons; a click counts once the status
# changes, and one that comes before the device is ready is repeated.
started=""
for _ in $(seq 10); do
  before="" since=$SECONDS
  while [ $((SECONDS - since)) -lt 3 ] || [ -z "$(field status)" ]; do
    alive || fail "Kavrel ended before the update."
    now=$(cat "$status_file" 2>/dev/null || true)
    [ "$now" = "$before" ] || { before=$now since=$SECONDS; }
    [ $((SECONDS - since)) -lt 60 ] || break
    sleep 0.2
  done
  import -window root "$shot"
  xdotool mousemove --window "$main" 153 390 click 1
  for _ in $(seq 25); do
    [ "$(cat "$status_file" 2>/dev/null || true)" = "$before" ] || { started=yes; break; }
    sleep 0.2
  done
  [ -n "$started" ] && break
done
[ -n "$started" ] || fail "Pressing Update did not start the update."
echo "Screenshot of Kavrel with the simulated $kind: $shot"
echo "Update pressed: $(field status)"

# The panel turns light green when the update is done, red when a part failed.
deadline=$((SECONDS + ${Z5_UPDATE_TIMEOUT:-300}))
panel=""
while [ $SECONDS -lt $deadline ]; do
  panel=$(field panel)
  [ "$panel" = "$green" ] || [ "$panel" = "$red" ] && break
  alive || fail "Kavrel ended during the update."
  sleep 0.2
done
sleep 0.5   # the panel's last paint reaches the screen
case $panel in
  "$green")
    import -window root "$run/updated.png"
    report
    echo "Screenshot after the update: $run/updated.png"
    ;;
  "$red")
    import -window root "$run/failed.png"
    report
    echo "Screenshot of the failed update: $run/failed.png"
    echo "The update failed." >&2
    exit 1
    ;;
  *)
    fail "The update did not end within ${Z5_UPDATE_TIMEOUT:-300} s."
    ;;
esac
