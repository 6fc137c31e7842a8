#include "uRTUUReplies.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <stdexcept>

#include "z5widestring.h"

namespace {

constexpr uint8_t kReplyReadParam = 0x1A;
constexpr uint8_t kCmdNodeList = 0x1F;
constexpr uint8_t kReplyReadEEPROM = 0x4A;
constexpr uint8_t kCmdRange = 0x4C;
constexpr uint8_t kReplyLatest = 0x09, kReplyLatestAlt = 0x0A;
constexpr int kCalibrationValues = 15, kTrimValues = 10;

// Decimal integer of the whole text (optional sign); anything else throws.
int32_t DecimalInteger(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

// Value bytes first..first+7 as 16 hex digits, the last byte first.
std::string MACText(const TFrameReply& r, size_t first) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = first + 8; i-- > first;) {
        text += kHex[r.At(i) >> 4];
        text += kHex[r.At(i) & 0x0F];
    }
    return text;
}

float FloatOfInteger(const TFrameReply& r, size_t offset) { return static_cast<float>(r.Value(offset, 4)); }

float FloatAt(const TFrameReply& r, size_t offset) {
    return FloatOfBytes(r.At(offset), r.At(offset + 1), r.At(offset + 2), r.At(offset + 3));
}

uint16_t U16(const TFrameReply& r, size_t at) { return static_cast<uint16_t>(r.Value(at, 2)); }

}  // namespace

bool ParseCommandText(std::string_view Text, int32_t& Code, int32_t& Value1, int32_t& Value2, int32_t& Value3) {
    Value1 = Value2 = Value3 = 0;
    if (Text.find('\r') == std::string_view::npos) return false;
    const size_t comma = Text.find(',');
    Code = DecimalInteger(Text.substr(0, comma == std::string_view::npos ? 0 : comma));
    std::string_view rest = Text.substr(std::min<size_t>(5, Text.size()));
    for (int32_t* value : {&Value1, &Value2, &Value3}) {
        const size_t c = rest.find(',');
        if (c == std::string_view::npos) continue;
        *value = DecimalInteger(rest.substr(0, c));
        rest.remove_prefix(c + 1);
    }
    return true;
}

bool ParseInstrumentCommand(const char* Cmd, int32_t& Code, int32_t& Value1) {
    if (!Cmd) return false;
    int32_t v2 = 0, v3 = 0;
    try {
        return ParseCommandText(Cmd, Code, Value1, v2, v3);
    } catch (const std::invalid_argument&) {
        return false;
    }
}

float FloatOfBytes(uint8_t B0, uint8_t B1, uint8_t B2, uint8_t B3) {
    const uint32_t bits = static_cast<uint32_t>(B0) | static_cast<uint32_t>(B1) << 8 |
                          static_cast<uint32_t>(B2) << 16 | static_cast<uint32_t>(B3) << 24;
    return std::bit_cast<float>(bits);
}

namespace {

struct TBlockIds {
    uint8_t first;
    std::span<const uint8_t> offsets;  // frame offset of each id byte, in id order
};

constexpr uint8_t kRTUUIdsAt[] = {5, 8, 11, 14, 17, 20, 23, 25, 27, 29, 34, 37, 40, 43};
constexpr uint8_t kRTCUIdsAt[] = {5,  8,  11, 14, 23, 26, 29, 32, 34, 37, 42, 44, 47, 49, 52,
                                  54, 56, 58, 60, 62, 64, 66, 69, 71, 73, 78, 80, 82, 84};
constexpr uint8_t kEEPROMIdsAt[] = {5, 7, 9, 14, 17, 19, 24, 29, 31, 33, 35, 37, 39, 42, 44, 49, 54, 56};
constexpr uint8_t kFloatIdsAt[] = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 60, 65, 70, 75};

TBlockIds IdsOf(TReadBlock block) {
    switch (block) {
        case TReadBlock::RTUUParams: return {0, kRTUUIdsAt};
        case TReadBlock::RTCUParams: return {0, kRTCUIdsAt};
        case TReadBlock::EEPROMData: return {0, kEEPROMIdsAt};
        case TReadBlock::EEPROMCalibration: return {18, std::span(kFloatIdsAt, kCalibrationValues)};
        case TReadBlock::EEPROMTrim: return {33, std::span(kFloatIdsAt, kTrimValues)};
    }
    return {0, {}};
}

bool FromAddress(const TFrameReply& r, uint8_t cmd, int32_t address) {
    return r.IsFrame(cmd) && r.At(3) == (address & 0xFF) && r.At(4) == ((address >> 8) & 0xFF);
}

}  // namespace

bool AnswersRead(const TFrameReply& Reply, uint8_t ReplyCmd, int32_t Address, uint8_t Id) {
    return FromAddress(Reply, ReplyCmd, Address) && Reply.Received(5) && Reply.At(5) == Id;
}

bool AnswersBlockRead(const TFrameReply& Reply, uint8_t ReplyCmd, int32_t Address, TReadBlock Block) {
    if (!FromAddress(Reply, ReplyCmd, Address)) return false;
    const TBlockIds ids = IdsOf(Block);
    const size_t last = static_cast<size_t>(Reply.Len()) + 1;  // the last payload byte
    for (size_t i = 0; i < ids.offsets.size() && ids.offsets[i] <= last; ++i)
        if (static_cast<size_t>(Reply.At(ids.offsets[i])) != ids.first + i) return false;
    return true;
}

bool DecodeParamReply(const TFrameReply& reply, int64_t& Value) {
    if (!reply.IsFrame(kReplyReadParam)) return false;
    size_t width;
    switch (reply.Len()) {
        case 5: width = 1; break;
        case 6: width = 2; break;
        case 8: width = 4; break;
        case 12: width = 8; break;
        default: return false;
    }
    Value = static_cast<int64_t>(reply.Value(6, width));
    return true;
}

bool DecodeRTUUParamsReply(const TFrameReply& reply, TRTUUParams& Params) {
    if (!reply.IsFrame(kReplyReadParam) || !reply.Covers(44)) return false;
    Params.Param0 = U16(reply, 6);
    Params.Param1 = U16(reply, 9);
    Params.Param2 = U16(reply, 12);
    Params.Param3 = U16(reply, 15);
    Params.Param4 = U16(reply, 18);
    Params.Param5 = U16(reply, 21);
    Params.Param6 = reply.At(24);
    Params.Param7 = reply.At(26);
    Params.Param8 = reply.At(28);
    Params.Param9 = FloatOfInteger(reply, 30);
    Params.Param10 = U16(reply, 35);
    Params.Param11 = U16(reply, 38);
    Params.Param12 = U16(reply, 41);
    Params.Param13 = reply.At(44);
    return true;
}

bool DecodeRTCUParamsReply(const TFrameReply& reply, TRTCUParam& p) {
    if (!reply.IsFrame(kReplyReadParam) || !reply.Covers(85)) return false;
    p.Param0 = U16(reply, 6);
    p.Param1 = U16(reply, 9);
    p.Param2 = U16(reply, 12);
    z5_wstr_free(p.Param3);
    p.Param3 = z5::WideAlloc(z5::Latin1ToUtf16(MACText(reply, 15)));
    p.Param4 = U16(reply, 24);
    p.Param5 = U16(reply, 27);
    p.Param6 = U16(reply, 30);
    p.Param7 = reply.At(33);
    p.Param8 = U16(reply, 35);
    p.Param9 = U16(reply, 38);
    p.Param10 = reply.At(43);
    p.Param11 = U16(reply, 45);
    p.Param12 = reply.At(48);
    p.Param13 = U16(reply, 50);
    uint8_t* bytes14to20[] = {&p.Param14, &p.Param15, &p.Param16, &p.Param17, &p.Param18, &p.Param19, &p.Param20};
    for (size_t i = 0; i < 7; ++i) *bytes14to20[i] = reply.At(53 + 2 * i);
    p.Param21 = U16(reply, 67);
    p.Param22 = reply.At(70);
    p.Param23 = reply.At(72);
    p.Param24 = FloatOfInteger(reply, 74);
    p.Param25 = reply.At(79);
    p.Param26 = reply.At(81);
    p.Param27 = reply.At(83);
    p.Param28 = reply.At(85);
    return true;
}

bool DecodeMACReply(const TFrameReply& reply, std::string& Text) {
    // The MAC sits at bytes 6 to 13 whatever LEN says; they must have come.
    if (!reply.StatusOk() || reply.At(0) != kFrameStart || reply.Cmd() != kReplyReadParam || !reply.Received(13))
        return false;
    std::string text = MACText(reply, 6);
    if (text == kNoMAC) return false;
    Text = std::move(text);
    return true;
}

bool DecodeNodeListReply(const TFrameReply& reply, std::span<int32_t> Table, int& Stored) {
    if (!reply.IsFrame(kCmdNodeList) || Table.empty()) return false;
    const size_t room = Table.size() - 1;  // the end mark
    size_t stored = 0;
    for (size_t k = 5; k <= reply.Len() && stored < room; k += 2)
        Table[stored++] = static_cast<int32_t>(reply.Value(k, 2));
    Table[stored] = -1;
    Stored = static_cast<int>(stored);
    return true;
}

bool DecodeSensorParamReply(const TFrameReply& reply, int64_t& Value) {
    if (!reply.IsFrame(kReplyReadEEPROM) || reply.Len() < 5 || reply.Len() > 8) return false;
    Value = static_cast<int64_t>(reply.Value(6, reply.Len() - 4u));
    return true;
}

bool DecodeSensorEEPROMReply(const TFrameReply& reply, int32_t Block, TSensorEEPROMData* Data, float* Calibration,
                             float* Trim) {
    static constexpr size_t kLast[] = {57, 79, 54};  // last decoded offset of each block
    if (Block < 0 || Block > 2) return false;
    if ((Block == 0 && !Data) || (Block == 1 && !Calibration) || (Block == 2 && !Trim)) return false;
    if (!reply.IsFrame(kReplyReadEEPROM) || !reply.Covers(kLast[Block])) return false;
    if (Block == 0) {
        TSensorEEPROMData& d = *Data;
        d.Data0 = reply.At(6);
        d.Data1 = reply.At(8);
        d.Data2 = static_cast<uint32_t>(reply.Value(10, 4));
        d.Data3 = U16(reply, 15);
        d.Data4 = reply.At(18);
        d.Data5 = static_cast<uint32_t>(reply.Value(20, 4));
        d.Data6 = static_cast<uint32_t>(reply.Value(25, 4));
        d.Data7 = reply.At(30);
        d.Data8 = reply.At(32);
        d.Data9 = reply.At(34);
        d.Data10 = reply.At(36);
        d.Data11 = reply.At(38);
        d.Data12 = U16(reply, 40);
        d.Data13 = reply.At(43);
        d.Data14 = static_cast<uint32_t>(reply.Value(45, 4));
        d.Data15 = static_cast<uint32_t>(reply.Value(50, 4));
        d.Data16 = reply.At(55);
        d.Data17 = reply.At(57);
        return true;
    }
    float* out = Block == 1 ? Calibration : Trim;
    const int count = Block == 1 ? kCalibrationValues : kTrimValues;
    for (int i = 0; i < count; ++i) out[i] = FloatAt(reply, 6 + 5 * static_cast<size_t>(i));
    return true;
}

bool DecodeRangeReply(const TFrameReply& reply, int32_t Id, int32_t& Value) {
    if (!reply.IsFrame(kCmdRange)) return false;
    const size_t len = reply.Len();
    const uint8_t wanted = static_cast<uint8_t>(Id & 0xFF);
    int32_t found = -1;
    // Pairs (id, value) from byte 5; a pair counts when both bytes lie in the frame.
    for (size_t off = 0; off + 3 < len && 6 + off <= len + 1; off += 2) {
        const uint8_t id = reply.At(5 + off);
        if (id == wanted || id == 0xFF) found = reply.At(6 + off);
    }
    if (found == -1) return false;
    Value = found;
    return true;
}

bool IsEmptyReply(const TFrameReply& r) { return r.StatusOk() && r.WholeFrame() && r.At(5) == kFrameEnd; }

bool IsLatestReply(const TFrameReply& r, int32_t Count) {
    if (Count < 0 || (!r.IsFrame(kReplyLatest) && !r.IsFrame(kReplyLatestAlt))) return false;
    // In size_t: twice a large count does not fit 32 bits.
    return Count == 0 || r.Covers(4 + 2 * static_cast<size_t>(Count));
}

uint32_t LatestValue(const TFrameReply& r, int32_t I) {
    return static_cast<uint32_t>(r.Value(5 + 2 * static_cast<size_t>(I), 2));
}

bool HasReplyFrame(const TFrameReply& reply, uint8_t ReplyCode) {
    if (!reply.StatusOk()) return false;
    const auto bytes = reply.Bytes();
    for (size_t at = 0; at + 2 < bytes.size() && bytes[at] == kFrameStart;) {
        const size_t whole = static_cast<size_t>(bytes[at + 1]) + 3;
        if (at + whole > bytes.size() || bytes[at + whole - 1] != kFrameEnd) break;
        if (bytes[at + 2] == ReplyCode) return true;
        at += whole;
    }
    return false;
}
