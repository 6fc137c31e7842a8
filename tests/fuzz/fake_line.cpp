#include "fake_line.h"

#include <algorithm>
#include <cstring>

#include "z5d2xx.h"

namespace {

fakeline::Script Line;
size_t ArrivedBytes = 0, ReadBytes = 0;
int HandleTag = 0;

void Arrive() {
    const size_t piece = Line.Piece ? Line.Piece : Line.Bytes.size();
    ArrivedBytes = std::min(Line.Bytes.size(), ArrivedBytes + piece);
}

bool Ours(d2xx::Handle h) { return h == &HandleTag; }

}  // namespace

namespace fakeline {

void* Start(const Script& script) {
    Line = script;
    ArrivedBytes = ReadBytes = 0;
    Arrive();
    return &HandleTag;
}

size_t Arrived() { return ArrivedBytes; }
size_t Delivered() { return ReadBytes; }

}  // namespace fakeline

namespace d2xx {

Status DeviceCount(uint32_t* count) {
    *count = 1;
    return kOk;
}
Status SerialNumberByIndex(uint32_t, char* text, size_t size) {
    if (size == 0) return kInvalidParameter;
    std::strncpy(text, "FUZZ", size - 1);
    text[size - 1] = '\0';
    return kOk;
}
Status DescriptionByIndex(uint32_t index, char* text, size_t size) { return SerialNumberByIndex(index, text, size); }
Status OpenBySerialNumber(const char*, Handle* handle) {
    *handle = &HandleTag;
    return kOk;
}
Status Close(Handle h) { return Ours(h) ? kOk : kInvalidHandle; }
Status Reset(Handle h) { return Ours(h) ? kOk : kInvalidHandle; }
Status Purge(Handle h, uint32_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status SetBaudRate(Handle h, uint32_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status SetDataCharacteristics(Handle h, uint8_t, uint8_t, uint8_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status SetFlowControl(Handle h, uint16_t, uint8_t, uint8_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status SetTimeouts(Handle h, uint32_t, uint32_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status GetModemStatus(Handle h, uint32_t* status) {
    *status = 0;
    return Ours(h) ? kOk : kInvalidHandle;
}

Status GetQueueStatus(Handle h, uint32_t* rxBytes) {
    if (!Ours(h)) return kInvalidHandle;
    if (Line.QueueFails) return kIoError;
    *rxBytes = static_cast<uint32_t>(ArrivedBytes - ReadBytes);
    Arrive();
    return kOk;
}

// Waits never block: each look lets the next piece arrive.
Status WaitForQueue(Handle h, uint32_t, uint32_t, uint32_t* rxBytes) { return GetQueueStatus(h, rxBytes); }
Status WaitForRx(Handle h, uint32_t) { return Ours(h) ? kOk : kInvalidHandle; }
Status CancelWait(Handle h) { return Ours(h) ? kOk : kInvalidHandle; }

Status Write(Handle h, const void*, uint32_t count, uint32_t* written) {
    *written = Ours(h) ? count : 0;
    return Ours(h) ? kOk : kInvalidHandle;
}

Status Read(Handle h, void* data, uint32_t count, uint32_t* got) {
    *got = 0;
    if (!Ours(h)) return kInvalidHandle;
    const size_t n = std::min<size_t>(count, ArrivedBytes - ReadBytes);
    if (n > 0) std::memcpy(data, Line.Bytes.data() + ReadBytes, n);
    ReadBytes += n;
    *got = static_cast<uint32_t>(n);
    Arrive();
    return Line.ReadFails && n > 0 ? kIoError : kOk;
}

}  // namespace d2xx
