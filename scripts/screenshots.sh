#!/usr/bin/env bash
# Pictures of the notice window and the main window (with a simulated Radio Master
# attached) in English, Russian and Arabic, drawn offscreen; and of the main window
# in English and Arabic refusing the update for a part file that is not there
# (NAME-refused-update.png).
#   scripts/screenshots.sh [DIR]     (default build/screenshots)
# Installs what is missing and builds what it needs in the plain build (build/plain).
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
bash scripts/build-plain.sh kavrel_shots z5sim kavrel_data kavrel_notice_files
bin=$PWD/build/plain/bin
mkdir -p "$out"
work=$(mktemp -d)
trap 'echo quit >&"${SIM[1]}" 2>/dev/null || true; wait "${SIM_PID:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

coproc SIM { exec "$bin/z5sim" --folder "$work/sys" radiomaster:RM0001; }
read -r -t 20 line <&"${SIM[0]}" || { echo "the simulator did not start" >&2; exit 1; }
export "${line?}"
read -r -t 20 line <&"${SIM[0]}"

for locale in en_US ru_RU ar_EG; do
  LANG=$locale.UTF-8 LC_ALL= LC_MESSAGES= QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work \
    "$bin/kavrel_shots" "$out" "$locale" 4
done

# A program folder of its own without the part files: Update names the missing one.
mkdir -p "$work/program"
cp "$bin"/Z5update.* "$bin"/infotext.*.rtf "$bin"/z5setup.cfg "$bin"/z5lang.cfg "$work/program/"
for locale in en_US ar_EG; do
  ZELTO5_PROGRAM_DIR=$work/program XDG_CONFIG_HOME=$work/config \
  LANG=$locale.UTF-8 LC_ALL= LC_MESSAGES= QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work \
    "$bin/kavrel_shots" "$work/shots" "$locale" 4 update > /dev/null
  mv "$work/shots/$locale-update.png" "$out/$locale-refused-update.png"
  echo "$out/$locale-refused-update.png"
done
