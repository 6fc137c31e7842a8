// The data logger's directory and file header replies read into file records.
// Pure functions over the received bytes: no device, no lock. A reply is read as
// text up to its first zero byte; every walk stops at the end of what came.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tovamod.h"

constexpr size_t kDLUNameMax = 12;      // characters kept of a directory name
constexpr size_t kDLUSizeTextMax = 20;  // characters of a size text
constexpr size_t kDLUNameBytes = 8;     // name bytes of a header or download request

struct TDLUDirectoryEntry {
    std::string Name;
    int32_t Size = 0;
};

// True for the logger's refusal of the directory request: a frame 'R' whose
// byte 5 is 2.
bool IsDLUDirectoryRefusal(std::span<const uint8_t> reply);

// Walks a directory reply of entries "name(size)" each followed by two
// characters, at most TOVAMOD_DLU_MAX_FILES of them. A name keeps its bytes below
// 'A' (the first kDLUNameMax), a size text its bytes below 'A' but spaces. False
// when a size text is longer than kDLUSizeTextMax or no 32-bit decimal integer;
// Entries then holds the entries before it.
bool ParseDLUDirectory(std::span<const uint8_t> reply, std::vector<TDLUDirectoryEntry>& Entries);

// "dd.mm.yy" from a name that begins "yymmdd": characters 5, 6, a point, 3, 4, a
// point, 1, 2 of its first 8; characters a shorter name lacks are left out.
std::string DLUDateFromName(std::string_view Name);

// The first kDLUNameBytes characters of Name, zero-padded (nullptr: all zero).
std::array<uint8_t, kDLUNameBytes> DLUNameBytes(const char* Name);

// Reads a header reply into Record. Valid := 1, then Line1, Line2, FileType,
// (TypeNumber, TypeDigit for types 0 and 3), ChannelCount (clamped to 0..6) and
// per channel the three text rows and the number pair. A first line that is empty
// or begins outside "0".."z" gives Valid 0, an empty Line1 and nothing else.
// False when TypeNumber or a channel number is not a number; the fields read
// before it stay written. Throws std::bad_alloc.
bool ParseDLUHeader(std::span<const uint8_t> reply, TDLUFileInfo& Record);

// Frees what Field holds and gives it a malloc'ed copy of Text. Throws std::bad_alloc.
void AssignDLUText(char*& Field, std::string_view Text);
