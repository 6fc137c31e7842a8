#!/usr/bin/env bash
# The window titles as the window system gets them (on a virtual X display): the
# notice, the main window, the second-device box, the options and the password
# dialog carry their own captions and nothing appended.
#   titles_test.sh BIN_DIR        (skips, exit 77, without Xvfb or xdotool)
set -euo pipefail
bin=$1
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "no Xvfb or xdotool: skipped"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  [ -n "${SIM_PID:-}" ] && { echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; }
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/kavrel.log" ] && tail -n 20 "$work/kavrel.log" >&2; exit 1; }

mkdir -p "$work/program" "$work/runtime"
chmod 700 "$work/runtime"
cp "$bin"/Z5update.* "$bin"/infotext.uk.rtf "$bin"/z5lang.cfg "$work/program/"
cp "$bin/z5setup.cfg" "$work/program/"
export ZELTO5_PROGRAM_DIR=$work/program XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
export ZELTO5_STATUS_FILE=$work/status.txt
unset QT_QPA_PLATFORM

# Two devices: the box first; the X-ray unit alone then opens the password dialog.
coproc SIM { exec "$bin/z5sim" --folder "$work/sys" xray:XR1 deskport:DP1; }
read -r -t 20 line <&"${SIM[0]}" || fail "the simulator did not start"
export "${line?}"

display=:$((200 + RANDOM % 300))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "the virtual display did not start"

env LANG=en_US.UTF-8 LC_ALL= LC_MESSAGES= "$bin/Kavrel" > "$work/kavrel.log" 2>&1 &
kavrel=$!
pids=("$kavrel" "${pids[@]}")

# The id of the visible Kavrel window with this title; waits up to TRIES/5 s (30 s) for it.
window_named() {
  local w
  for _ in $(seq "${2:-150}"); do
    for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
      [ "$(xdotool getwindowname "$w" 2>/dev/null)" = "$1" ] && { echo "$w"; return 0; }
    done
    kill -0 "$kavrel" 2>/dev/null || return 1
    sleep 0.2
  done
  return 1
}
titles() { for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do xdotool getwindowname "$w"; done; }
expect() {
  window_named "$1" || { echo "visible titles:" >&2; titles | sed 's/^/  /' >&2; fail "no window titled \"$1\""; }
}

notice=$(expect "Important notice")
main=$(expect "Zelto5 Firmware Update 2.1")
xdotool mousemove --window "$notice" 223 332 click 1
# The second device: the error box carries the main window's caption.
box=""
for _ in $(seq 150); do
  for w in $(xdotool search --onlyvisible --classname Kavrel 2>/dev/null); do
    [ "$w" != "$main" ] && [ "$(xdotool getwindowname "$w")" = "Zelto5 Firmware Update 2.1" ] && box=$w
  done
  [ -n "$box" ] && break
  sleep 0.2
done
[ -n "$box" ] || { titles >&2; fail "no second-device box with the main window's caption"; }
echo "unplug DP1" >&"${SIM[1]}"
xdotool windowfocus --sync "$box" key Return

# The X-ray unit alone, once its pass has ended; the logo's double click opens
# the options, and their change button the password dialog.
for _ in $(seq 150); do
  grep -qx "status=Device ready for update" "$ZELTO5_STATUS_FILE" 2>/dev/null && break
  sleep 0.2
done
grep -qx "status=Device ready for update" "$ZELTO5_STATUS_FILE" || fail "the X-ray unit was not shown"
xdotool mousemove --window "$main" 80 456 click --repeat 2 --delay 80 1
options=$(expect "Einstellungen")
for _ in $(seq 20); do
  xdotool mousemove --window "$options" 255 161 click 1
  window_named "Passwort" 10 >/dev/null && break
done
expect "Passwort" >/dev/null
if titles | grep -q "Kavrel"; then titles >&2; fail "a title carries the program's name"; fi
echo "titles ok"
