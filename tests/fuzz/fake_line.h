// A stand-in for the FTDI layer in the fuzz targets: one open line whose
// incoming bytes are the fuzz input, arriving in pieces of a chosen size (one
// piece more with every queue query and every read), so that the request
// engine's wait and read loop meet replies cut anywhere.
#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

namespace fakeline {

struct Script {
    std::span<const uint8_t> Bytes;  // what the device sends
    size_t Piece = 0;                // bytes that arrive at a time; 0: all at once
    bool QueueFails = false;         // the queue query reports a failure
    bool ReadFails = false;          // reads report a failure after their bytes
};

// Plugs the line in with this script; the handle it answers to.
void* Start(const Script& script);
// Bytes the device has sent so far (arrived, read or not).
size_t Arrived();
// Bytes the library has read from the line so far.
size_t Delivered();

}  // namespace fakeline
