#!/usr/bin/env bash
# The program reaches the library through exactly these 14 functions.
set -euo pipefail
expected="tovamod_ActivateDevicesIdentification
tovamod_DeactivateDevicesIdentification
tovamod_Device_GetRTUUParam
tovamod_Device_GetVersion
tovamod_Device_SendCmdAndGetResponse
tovamod_Device_SetRTUUParam
tovamod_Device_Update
tovamod_Device_Update_Finish
tovamod_Device_Update_Start
tovamod_GetHardwareStructure
tovamod_Sensor_GetRtcuParam
tovamod_Sensor_SetRtcuParam
tovamod_init
tovamod_uninit"
actual=$(nm -D --undefined-only "$1" | grep -o 'tovamod_[A-Za-z0-9_]*' | LC_ALL=C sort -u)
if [ "$actual" != "$(printf '%s\n' "$expected" | LC_ALL=C sort -u)" ]; then
  diff <(printf '%s\n' "$expected" | LC_ALL=C sort -u) <(printf '%s\n' "$actual") || true
  exit 1
fi
# Linked at load time: the library is a needed entry, found beside the program.
readelf -d "$1" | grep -q 'NEEDED.*libtovamod'
readelf -d "$1" | grep -q 'RUNPATH.*\$ORIGIN'
