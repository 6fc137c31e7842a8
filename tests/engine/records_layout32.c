/* Compiled with -m32 only (never linked): 32-bit layout of the records that the
   block reads fill. */
#include <assert.h>
#include <stddef.h>

#include "tovamod.h"

static_assert(sizeof(void*) == 4, "compile this check with -m32");

static_assert(sizeof(TRTUUParams) == 28, "TRTUUParams size");
static_assert(offsetof(TRTUUParams, Param5) == 10, "Param5");
static_assert(offsetof(TRTUUParams, Param6) == 12, "Param6");
static_assert(offsetof(TRTUUParams, Param8) == 14, "Param8");
static_assert(offsetof(TRTUUParams, Param9) == 16, "Param9");
static_assert(offsetof(TRTUUParams, Param10) == 20, "Param10");
static_assert(offsetof(TRTUUParams, Param13) == 26, "Param13");

static_assert(sizeof(TSensorEEPROMData) == 44, "TSensorEEPROMData size");
static_assert(offsetof(TSensorEEPROMData, Data2) == 4, "Data2");
static_assert(offsetof(TSensorEEPROMData, Data3) == 8, "Data3");
static_assert(offsetof(TSensorEEPROMData, Data4) == 10, "Data4");
static_assert(offsetof(TSensorEEPROMData, Data5) == 12, "Data5");
static_assert(offsetof(TSensorEEPROMData, Data6) == 16, "Data6");
static_assert(offsetof(TSensorEEPROMData, Data7) == 20, "Data7");
static_assert(offsetof(TSensorEEPROMData, Data11) == 24, "Data11");
static_assert(offsetof(TSensorEEPROMData, Data12) == 26, "Data12");
static_assert(offsetof(TSensorEEPROMData, Data13) == 28, "Data13");
static_assert(offsetof(TSensorEEPROMData, Data14) == 32, "Data14");
static_assert(offsetof(TSensorEEPROMData, Data15) == 36, "Data15");
static_assert(offsetof(TSensorEEPROMData, Data16) == 40, "Data16");
static_assert(offsetof(TSensorEEPROMData, Data17) == 41, "Data17");

static_assert(sizeof(TRTCUParam) == 52, "TRTCUParam size");
static_assert(offsetof(TRTCUParam, Param2) == 4, "Param2");
static_assert(offsetof(TRTCUParam, Param3) == 8, "Param3");
static_assert(offsetof(TRTCUParam, Param4) == 12, "Param4");
static_assert(offsetof(TRTCUParam, Param7) == 18, "Param7");
static_assert(offsetof(TRTCUParam, Param8) == 20, "Param8");
static_assert(offsetof(TRTCUParam, Param9) == 22, "Param9");
static_assert(offsetof(TRTCUParam, Param10) == 24, "Param10");
static_assert(offsetof(TRTCUParam, Param11) == 26, "Param11");
static_assert(offsetof(TRTCUParam, Param12) == 28, "Param12");
static_assert(offsetof(TRTCUParam, Param13) == 30, "Param13");
static_assert(offsetof(TRTCUParam, Param14) == 32, "Param14");
static_assert(offsetof(TRTCUParam, Param20) == 38, "Param20");
static_assert(offsetof(TRTCUParam, Param21) == 40, "Param21");
static_assert(offsetof(TRTCUParam, Param22) == 42, "Param22");
static_assert(offsetof(TRTCUParam, Param23) == 43, "Param23");
static_assert(offsetof(TRTCUParam, Param24) == 44, "Param24");
static_assert(offsetof(TRTCUParam, Param25) == 48, "Param25");
static_assert(offsetof(TRTCUParam, Param28) == 51, "Param28");
