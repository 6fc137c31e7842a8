#include "userlocale.h"

#include <array>
#include <cstdlib>
#include <string>

namespace {

struct LanguageCode {
    std::string_view code;  // ISO 639-1
    int primary;
};

// Croatian, Serbian and Bosnian share one primary language number.
constexpr std::array<LanguageCode, 26> Languages{{
    {"ar", 0x01}, {"bg", 0x02}, {"cs", 0x05}, {"de", 0x07}, {"el", 0x08}, {"en", 0x09},
    {"es", 0x0A}, {"fr", 0x0C}, {"hu", 0x0E}, {"it", 0x10}, {"ko", 0x12}, {"nl", 0x13},
    {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A},
    {"bs", 0x1A}, {"sv", 0x1D}, {"tr", 0x1F}, {"uk", 0x22}, {"lv", 0x26}, {"lt", 0x27},
    {"vi", 0x2A}, {"kk", 0x3F},
}};

}  // namespace

int PrimaryLanguageOfLocale(std::string_view name) {
    // language[_territory][.codeset][@modifier]
    const std::string_view code = name.substr(0, name.find_first_of("_.@"));
    std::string lower(code);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const LanguageCode& l : Languages)
        if (l.code == lower) return l.primary;
    return 0;
}

int UserPrimaryLanguage() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) return PrimaryLanguageOfLocale(value);
    }
    return 0;
}
