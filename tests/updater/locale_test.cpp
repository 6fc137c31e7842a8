#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "global.h"
#include "userlocale.h"

TEST(StartLanguage, LocaleTable) {
    const std::pair<const char*, int32_t> cases[] = {
        {"de_DE.UTF-8", 0},  {"de_AT", 0},           {"en_US.UTF-8", 1}, {"en_GB", 1},
        {"es_ES.UTF-8", 2},  {"ru_RU.UTF-8", 3},     {"pl_PL", 4},       {"ar_EG.UTF-8", 5},
        {"fr_CA", 6},        {"pt_BR.UTF-8", 7},     {"nl_BE", 8},       {"ro_RO", 9},
        {"bg_BG", 10},       {"cs_CZ", 11},          {"hr_HR.UTF-8", 12}, {"sr_RS@latin", 12},
        {"bs_BA", 12},       {"uk_UA.UTF-8", 13},    {"hu_HU", 14},      {"lt_LT", 15},
        {"lv_LV", 16},       {"kk_KZ", 17},          {"it_IT", 18},      {"sv_SE", 19},
        {"el_GR.UTF-8", 20}, {"tr_TR", 21},          {"vi_VN", 22},      {"ko_KR.UTF-8", 23},
        {"DE_de", 0},        {"de", 0},              {"de.UTF-8", 0},
        // unknown languages read English
        {"fi_FI.UTF-8", 1},  {"ja_JP.UTF-8", 1},     {"C", 1},           {"C.UTF-8", 1},
        {"POSIX", 1},        {"", 1},                {"deu", 1},
    };
    for (const auto& [locale, language] : cases) {
        SCOPED_TRACE(locale);
        EXPECT_EQ(LanguageOfPrimary(PrimaryLanguageOfLocale(locale)), language);
    }
    EXPECT_EQ(PrimaryLanguageOfLocale("uk_UA"), 0x22);
    EXPECT_EQ(PrimaryLanguageOfLocale("sr_RS"), 0x1A);
    EXPECT_EQ(LanguageOfPrimary(0x3F), 17);
    EXPECT_EQ(LanguageOfPrimary(0x0B), 1);
}

TEST(StartLanguage, LcAllThenLcMessagesThenLang) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        int32_t language;
    };
    const Case cases[] = {
        {"ru_RU.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8", 3},
        {"", "de_DE.UTF-8", "fr_FR.UTF-8", 0},  // an empty variable does not count
        {nullptr, nullptr, "fr_FR.UTF-8", 6},
        {nullptr, nullptr, nullptr, 1},
        {"C", "de_DE.UTF-8", nullptr, 1},
    };
    auto set = [](const char* name, const char* value) {
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    };
    for (const Case& c : cases) {
        set("LC_ALL", c.lcAll);
        set("LC_MESSAGES", c.lcMessages);
        set("LANG", c.lang);
        EXPECT_EQ(StartLanguage(), c.language);
    }
}
