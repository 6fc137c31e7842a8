// The user's language as a Windows primary language number (the low byte of a
// Windows locale id), read from the POSIX locale settings.
#pragma once
#include <string_view>

// Primary language number for a locale name such as "de_DE.UTF-8" or
// "sr_RS@latin"; 0 (neutral) for "C", "POSIX", an empty name and every
// language the program has no text for.
int PrimaryLanguageOfLocale(std::string_view name);

// The same for the first set one of LC_ALL, LC_MESSAGES and LANG.
int UserPrimaryLanguage();
