// CRC-32 of firmware part files: the reflected CRC-32 of the zip format
// (polynomial 0xEDB88320, start value 0xFFFFFFFF, final complement).
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Largest block that CalcFileCRC32 reads at once (fits the 16-bit length of UpdateCRC32).
inline constexpr std::size_t kCrcBlockSize = 65521;

// Adds the first `length` bytes of `buffer` to the running value `crc`
// (no start value and no final complement applied here).
void UpdateCRC32(const std::uint8_t* buffer, std::uint16_t length, std::uint32_t& crc);

// Returns the CRC-32 of the whole file. The file is read in blocks of up to
// kCrcBlockSize bytes (fewer when `buffer` is smaller) into `buffer`.
// ioResult: 0 after a successful open, else the errno of the failed open; when the
// open fails the result is 0 and byteCount is left as it was. On success byteCount
// is the number of bytes read. A read error throws std::system_error.
std::uint32_t CalcFileCRC32(const std::string& fileName, std::span<std::uint8_t> buffer,
                            std::uint32_t& byteCount, std::int32_t& ioResult);
