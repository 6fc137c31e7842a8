#include "uNumberText.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One or two digits at s[i]; advances i.
bool ReadTimeField(std::string_view s, size_t& i, int32_t& field) {
    if (i >= s.size() || !IsDigit(s[i])) return false;
    field = s[i++] - '0';
    if (i < s.size() && IsDigit(s[i])) field = field * 10 + (s[i++] - '0');
    return true;
}

}  // namespace

bool DecimalTextToMilli(std::string_view text, int32_t& value) {
    std::string_view s = TrimSpaces(text);
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

    // The number is Digits x 10^Exponent; Digits holds the significant digits (no
    // leading zeros). Digits past the buffer only matter as "something non-zero
    // follows" for rounding, since such a number no longer fits 32 bits anyway.
    constexpr size_t kMaxDigits = 40;
    char digits[kMaxDigits];
    size_t count = 0;
    bool sticky = false;
    int32_t exponent = 0;
    bool anyDigit = false;
    bool fraction = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == ',' && !fraction) {
            fraction = true;
            continue;
        }
        if (!IsDigit(c)) break;
        anyDigit = true;
        if (count == 0 && c == '0') {
            if (fraction) --exponent;
            continue;
        }
        if (count < kMaxDigits) {
            digits[count++] = c;
            if (fraction) --exponent;
        } else {
            sticky = sticky || c != '0';
            if (!fraction) ++exponent;
        }
    }
    if (!anyDigit) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) expNegative = s[i++] == '-';
        if (i >= s.size() || !IsDigit(s[i])) return false;
        int32_t e = 0;
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            if (e < 100000) e = e * 10 + (s[i] - '0');
        }
        exponent += expNegative ? -e : e;
    }
    if (i != s.size()) return false;

    exponent += 3;  // times 1000
    if (count == 0) {
        value = 0;
        return true;
    }
    constexpr int32_t kMaxIntDigits = 10;  // 2^31 has 10 digits
    int32_t intDigits = static_cast<int32_t>(count) + exponent;
    if (intDigits > kMaxIntDigits) return false;
    int64_t magnitude = 0;
    for (int32_t k = 0; k < intDigits; ++k) {
        magnitude = magnitude * 10 + (k < static_cast<int32_t>(count) ? digits[k] - '0' : 0);
    }
    if (intDigits >= 0 && intDigits < static_cast<int32_t>(count)) {
        int rounding = digits[intDigits] - '0';
        bool restNonZero = sticky;
        for (size_t k = static_cast<size_t>(intDigits) + 1; k < count; ++k) restNonZero = restNonZero || digits[k] != '0';
        if (rounding > 5 || (rounding == 5 && (restNonZero || (magnitude & 1) != 0))) ++magnitude;
    }
    // intDigits < 0: the number is below 0.1 after scaling and rounds to 0.
    int64_t result = negative ? -magnitude : magnitude;
    if (result < std::numeric_limits<int32_t>::min() || result > std::numeric_limits<int32_t>::max()) return false;
    value = static_cast<int32_t>(result);
    return true;
}

bool DecimalTextToDouble(std::string_view text, double& value) {
    std::string_view s = TrimSpaces(text);
    // Checked here, converted by from_chars (which knows no locale) with a point.
    std::string plain;
    plain.reserve(s.size());
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') plain.push_back('-');
        ++i;
    }
    bool anyDigit = false;
    bool fraction = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        if (c == ',' && !fraction) {
            fraction = true;
            plain.push_back('.');
            continue;
        }
        if (!IsDigit(c)) break;
        anyDigit = true;
        plain.push_back(c);
    }
    if (!anyDigit) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        plain.push_back(s[i++]);
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) plain.push_back(s[i++]);
        if (i >= s.size() || !IsDigit(s[i])) return false;
        for (; i < s.size() && IsDigit(s[i]); ++i) plain.push_back(s[i]);
    }
    if (i != s.size()) return false;
    double v = 0;
    auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool TimeTextToSeconds(std::string_view text, int32_t& seconds) {
    std::string_view s = TrimSpaces(text);
    size_t i = 0;
    int32_t h = 0, m = 0, sec = 0;
    if (!ReadTimeField(s, i, h) || i >= s.size() || s[i++] != ':' || !ReadTimeField(s, i, m)) return false;
    if (i < s.size()) {
        if (s[i++] != ':' || !ReadTimeField(s, i, sec) || i != s.size()) return false;
    }
    if (h > 23 || m > 59 || sec > 59) return false;
    seconds = h * 3600 + m * 60 + sec;
    return true;
}

bool IntegerTextToInt64(std::string_view text, int64_t& value) {
    std::string_view s = TrimSpaces(text);
    size_t first = !s.empty() && (s.front() == '+' || s.front() == '-') ? 1 : 0;
    if (first >= s.size() || !IsDigit(s[first])) return false;
    if (s.front() == '+') s.remove_prefix(1);  // from_chars takes no plus sign
    int64_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    value = v;
    return true;
}
