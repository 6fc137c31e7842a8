// Number and time texts in the library's own formats: decimal comma, time of day
// "hh:mm:ss". Read without the process locale, so the host program's settings
// never change what the library understands.
#pragma once
#include <cstdint>
#include <string_view>

// Decimal number with a decimal comma ("1,5", "-0,25", "2", "1,5E2"; spaces around
// it allowed), times 1000, rounded to the nearest integer, halves to the even
// neighbour (exact on the decimal digits). False when the text is not such a number
// or the result does not fit 32 bits.
bool DecimalTextToMilli(std::string_view text, int32_t& value);

// Decimal number with a decimal comma ("1,5", "-0,25", "2", "1,5E2"; spaces around
// it allowed) as a double. False when the text is not such a number or lies beyond
// the range of a double.
bool DecimalTextToDouble(std::string_view text, double& value);

// Time of day "h:mm" or "h:mm:ss" (one or two digits per field, spaces around it
// allowed) as seconds since midnight. False when the text is not a valid time.
bool TimeTextToSeconds(std::string_view text, int32_t& seconds);

// Decimal integer with an optional sign (spaces around it allowed). False when the
// text is not one or does not fit 64 bits.
bool IntegerTextToInt64(std::string_view text, int64_t& value);
