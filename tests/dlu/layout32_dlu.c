/* Compiled with -m32 only (never linked): the 32-bit layout of the data logger's
   file record. Also compiled as C++. */
#include <assert.h>
#include <stddef.h>

#include "tovamod.h"

static_assert(sizeof(void*) == 4, "compile this check with -m32");

static_assert(sizeof(TDLUFileInfo) == 156, "TDLUFileInfo size");
static_assert(offsetof(TDLUFileInfo, Name) == 0, "Name");
static_assert(offsetof(TDLUFileInfo, Size) == 4, "Size");
static_assert(offsetof(TDLUFileInfo, Line2) == 8, "Line2");
static_assert(offsetof(TDLUFileInfo, Date) == 12, "Date");
static_assert(offsetof(TDLUFileInfo, Line1) == 16, "Line1");
static_assert(offsetof(TDLUFileInfo, ChannelCount) == 20, "ChannelCount");
static_assert(offsetof(TDLUFileInfo, FileType) == 21, "FileType");
static_assert(offsetof(TDLUFileInfo, Reserved1) == 22, "reserved");
static_assert(offsetof(TDLUFileInfo, TypeNumber) == 24, "TypeNumber");
static_assert(offsetof(TDLUFileInfo, TypeDigit) == 28, "TypeDigit");
static_assert(offsetof(TDLUFileInfo, Reserved2) == 29, "reserved");
static_assert(offsetof(TDLUFileInfo, ChannelText1) == 32, "ChannelText1");
static_assert(offsetof(TDLUFileInfo, ChannelText2) == 56, "ChannelText2");
static_assert(offsetof(TDLUFileInfo, ChannelUnit) == 80, "ChannelUnit");
static_assert(offsetof(TDLUFileInfo, ChannelValue1) == 104, "ChannelValue1");
static_assert(offsetof(TDLUFileInfo, ChannelValue2) == 128, "ChannelValue2");
static_assert(offsetof(TDLUFileInfo, Valid) == 152, "Valid");
static_assert(offsetof(TDLUFileInfo, Reserved3) == 153, "reserved");
