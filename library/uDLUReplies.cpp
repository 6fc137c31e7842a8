#include "uDLUReplies.h"

#include <limits>
#include <string_view>

#include "uNumberText.h"

namespace {
constexpr uint8_t kVersionFirst = 0x2E;  // '.'
constexpr uint8_t kVersionLast = 0x40;   // '@'
}  // namespace

bool ParseDLUCommandCode(const char* Text, int32_t& Code) {
    if (!Text) return false;
    const std::string_view text(Text);
    if (text.find('\r') == std::string_view::npos) return false;
    int64_t code = 0;
    if (!IntegerTextToInt64(text.substr(0, text.find(',')), code) || code < std::numeric_limits<int32_t>::min() ||
        code > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    Code = static_cast<int32_t>(code);
    return true;
}

std::string DLUVersionText(std::span<const uint8_t> Reply, size_t MaxCharacters) {
    std::string version;
    for (uint8_t b : Reply) {
        if (b == 0) break;
        if (b >= kVersionFirst && b <= kVersionLast && version.size() < MaxCharacters)
            version.push_back(static_cast<char>(b));
    }
    version.push_back('\0');
    return version;
}
