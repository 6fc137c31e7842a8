#include "uDLUFileData.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "uNumberText.h"

namespace {

constexpr uint8_t kFrameStart = 0x7D;
constexpr uint8_t kRefusal = 0x52;  // 'R'
constexpr uint8_t kRefusalDirectory = 2;
constexpr uint8_t kTab = 0x09;
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLetterA = 0x41;
constexpr uint8_t kCaret = 0x5E;
constexpr char kDegree = static_cast<char>(0xB0);
constexpr size_t kTypeNumberDigits = 4;

// The reply as text: up to its first zero byte.
std::string_view AsText(std::span<const uint8_t> reply) {
    const auto zero = std::find(reply.begin(), reply.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(reply.data()), static_cast<size_t>(zero - reply.begin())};
}

// A position in a reply text; it never moves past the end, and reads there give 0.
class Cursor {
public:
    explicit Cursor(std::string_view text) : Text(text) {}
    bool AtEnd() const { return Pos >= Text.size(); }
    uint8_t Byte() const { return AtEnd() ? 0 : static_cast<uint8_t>(Text[Pos]); }
    void Skip(size_t n) { Pos = std::min(Text.size(), Pos + n); }
    // The characters up to Stop (or the end); the cursor stays on Stop.
    std::string_view Until(uint8_t Stop) {
        const size_t start = Pos;
        while (!AtEnd() && Byte() != Stop) ++Pos;
        return Text.substr(start, Pos - start);
    }
    std::string_view Take(size_t n) {
        const size_t start = Pos;
        Skip(n);
        return Text.substr(start, Pos - start);
    }

private:
    std::string_view Text;
    size_t Pos = 0;
};

bool ToInt32(std::string_view text, int32_t& value) {
    int64_t v = 0;
    if (!IntegerTextToInt64(text, v) || v < std::numeric_limits<int32_t>::min() ||
        v > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

bool ToFloat(std::string_view text, float& value) {
    double v = 0;
    if (!DecimalTextToDouble(text, v) || std::fabs(v) > FLT_MAX) return false;
    value = static_cast<float>(v);
    return true;
}

uint8_t Digit(uint8_t b) { return static_cast<uint8_t>(b - 0x30); }

}  // namespace

bool IsDLUDirectoryRefusal(std::span<const uint8_t> reply) {
    return reply.size() > 5 && reply[0] == kFrameStart && reply[2] == kRefusal && reply[5] == kRefusalDirectory;
}

bool ParseDLUDirectory(std::span<const uint8_t> reply, std::vector<TDLUDirectoryEntry>& Entries) {
    Entries.clear();
    Cursor c(AsText(reply));
    while (!c.AtEnd() && Entries.size() < TOVAMOD_DLU_MAX_FILES) {
        TDLUDirectoryEntry entry;
        for (; !c.AtEnd() && c.Byte() != '('; c.Skip(1)) {
            if (c.Byte() < kLetterA && entry.Name.size() < kDLUNameMax) entry.Name.push_back(static_cast<char>(c.Byte()));
        }
        c.Skip(1);
        std::string size;
        for (; !c.AtEnd() && c.Byte() != ')'; c.Skip(1)) {
            if (c.Byte() < kLetterA && c.Byte() != ' ') {
                if (size.size() == kDLUSizeTextMax) return false;
                size.push_back(static_cast<char>(c.Byte()));
            }
        }
        c.Skip(3);  // ')' and the two characters after it
        if (!ToInt32(size, entry.Size)) return false;
        Entries.push_back(std::move(entry));
    }
    return true;
}

std::string DLUDateFromName(std::string_view Name) {
    const std::string_view n = Name.substr(0, kDLUNameBytes);
    auto part = [&](size_t from) { return from < n.size() ? n.substr(from, 2) : std::string_view{}; };
    std::string date;
    date.append(part(4)).append(".").append(part(2)).append(".").append(part(0));
    return date;
}

std::array<uint8_t, kDLUNameBytes> DLUNameBytes(const char* Name) {
    std::array<uint8_t, kDLUNameBytes> bytes{};
    for (size_t i = 0; Name && i < kDLUNameBytes && Name[i]; ++i) bytes[i] = static_cast<uint8_t>(Name[i]);
    return bytes;
}

bool ParseDLUHeader(std::span<const uint8_t> reply, TDLUFileInfo& Record) {
    Record.Valid = 1;
    Cursor c(AsText(reply));
    const std::string_view line1 = c.Until(kCr);
    if (line1.empty() || static_cast<uint8_t>(line1[0]) < '0' || static_cast<uint8_t>(line1[0]) > 'z') {
        Record.Valid = 0;
        AssignDLUText(Record.Line1, {});
        return true;
    }
    AssignDLUText(Record.Line1, line1);
    c.Skip(2);  // CR and one more
    AssignDLUText(Record.Line2, c.Until(kCr));
    c.Skip(2);
    Record.FileType = Digit(c.Byte());
    c.Skip(2);
    if (Record.FileType == 0 || Record.FileType == 3) {
        if (!ToInt32(c.Take(kTypeNumberDigits), Record.TypeNumber)) return false;
        c.Skip(1);
        Record.TypeDigit = Digit(c.Byte());
        c.Skip(2);
    }
    const int count = std::clamp(static_cast<int>(c.Byte()) - 0x30, 0, TOVAMOD_DLU_MAX_CHANNELS);
    Record.ChannelCount = static_cast<uint8_t>(count);
    c.Skip(3);

    auto row = [&](char* (&texts)[TOVAMOD_DLU_MAX_CHANNELS], bool units) {
        for (int k = 0; k < count; ++k) {
            std::string text(c.Until(kTab));
            c.Skip(1);
            if (units) std::replace(text.begin(), text.end(), static_cast<char>(kCaret), kDegree);
            AssignDLUText(texts[k], text);
        }
        c.Skip(2);
    };
    row(Record.ChannelText1, false);
    row(Record.ChannelText2, false);
    row(Record.ChannelUnit, true);

    for (int k = 0; k < count; ++k) {
        if (!ToFloat(c.Until(kTab), Record.ChannelValue1[k])) return false;
        c.Skip(1);
        if (!ToFloat(c.Until(kTab), Record.ChannelValue2[k])) return false;
        c.Skip(1);
    }
    return true;
}

void AssignDLUText(char*& Field, std::string_view Text) {
    auto* copy = static_cast<char*>(std::malloc(Text.size() + 1));
    if (!copy) throw std::bad_alloc();
    if (!Text.empty()) std::memcpy(copy, Text.data(), Text.size());
    copy[Text.size()] = '\0';
    std::free(Field);
    Field = copy;
}
