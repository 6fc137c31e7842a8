// The radio base's replies: the engine's wait and reads (Collect) over a line
// whose bytes arrive in pieces, then every request's decoder on what it
// collected and on the raw bytes. Input: a settings byte, an id byte, the
// count of values a latest-values read asks (32 bits, little-endian), then the
// bytes the device sends. Checks, besides the sanitizers:
// - the reply holds no more than the line sent and fits the receive buffer;
// - a decoded node list holds at most 99 addresses and its end mark;
// - a decoded MAC is 16 upper-case hexadecimal digits, never the no-MAC text;
// - a parameter read gives no more bits than its LEN allows;
// - a latest-values reply is accepted only when it carries every value asked.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fake_line.h"
#include "uD2XX.h"
#include "uFrameExchange.h"
#include "uRTUUReplies.h"
#include "z5clock.h"
#include "z5widestring.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void DecodeAll(const TFrameReply& reply, uint8_t id, int32_t count) {
    int64_t value = 0;
    if (DecodeParamReply(reply, value)) {
        const unsigned bits = reply.Len() == 5 ? 8 : reply.Len() == 6 ? 16 : reply.Len() == 8 ? 32 : 64;
        Check(bits == 64 || static_cast<uint64_t>(value) < (uint64_t{1} << bits));
    }
    TRTUUParams params{};
    (void)DecodeRTUUParamsReply(reply, params);
    TRTCUParam rtcu{};
    for (int pass = 0; pass < 2; ++pass) (void)DecodeRTCUParamsReply(reply, rtcu);  // the MAC text is replaced
    z5_wstr_free(rtcu.Param3);

    std::string mac(kNoMAC);
    if (DecodeMACReply(reply, mac)) {
        Check(mac.size() == 16 && mac != kNoMAC);
        for (char c : mac) Check((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    } else {
        Check(mac == kNoMAC);
    }

    std::vector<int32_t> table(100, 7);
    int stored = -1;
    if (DecodeNodeListReply(reply, table, stored)) {
        Check(stored >= 0 && stored <= 99 && table[static_cast<size_t>(stored)] == -1);
        for (int i = 0; i < stored; ++i) Check(table[static_cast<size_t>(i)] >= 0 && table[static_cast<size_t>(i)] <= 0xFFFF);
    }

    (void)DecodeSensorParamReply(reply, value);
    TSensorEEPROMData data{};
    float calibration[15], trim[10];
    for (int32_t block = -1; block <= 3; ++block) (void)DecodeSensorEEPROMReply(reply, block, &data, calibration, trim);
    int32_t range = -1;
    if (DecodeRangeReply(reply, id, range)) Check(range >= 0 && range <= 0xFF);
    (void)IsEmptyReply(reply);
    for (int32_t n : {0, 1, 5, static_cast<int32_t>(id), count})
        if (IsLatestReply(reply, n)) {
            Check(n >= 0 && (n == 0 || reply.Covers(4 + 2 * static_cast<size_t>(n))));
            for (int32_t i = 0; i < n && i < 200; ++i) Check(LatestValue(reply, i) <= 0xFFFF);
        }
    (void)HasReplyFrame(reply, id);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    z5::SetTimeScale(0.001);  // the reply wait of 500 ms takes half a millisecond
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const uint8_t settings = data[0], id = data[1];
    const int32_t count = static_cast<int32_t>(static_cast<uint32_t>(data[2]) | static_cast<uint32_t>(data[3]) << 8 |
                                               static_cast<uint32_t>(data[4]) << 16 | static_cast<uint32_t>(data[5]) << 24);
    const std::span<const uint8_t> line(data + 6, size - 6);

    fakeline::Script script;
    script.Bytes = line;
    script.Piece = settings >> 3;  // 0: all at once
    script.QueueFails = settings & 2;
    script.ReadFails = settings & 4;
    TExchangeSettings exchange;
    if (settings & 1) exchange.SingleRead = 5;

    TFrameReply reply;
    {
        D2XXGuard guard;
        CurrentHandle = fakeline::Start(script);
        std::memset(ReceiveBuffer, 0, 16);
        reply = Collect(exchange);
    }
    Check(reply.Count() <= fakeline::Delivered() && reply.Count() <= kD2XXBufferSize);
    DecodeAll(reply, id, count);
    DecodeAll(TFrameReply(std::vector<uint8_t>(line.begin(), line.end()), !(settings & 4)), id, count);
    return 0;
}
