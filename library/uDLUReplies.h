// The pure halves of the data logger's requests (unit uDLU): the command code of
// a command text and the text of the version reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// Code of a command text such as "0017,1,\r": the integer before the first comma.
// False without a carriage return or when the code is no 32-bit integer (Code is
// then left as it was); a nil text is false.
bool ParseDLUCommandCode(const char* Text, int32_t& Code);

// The version text of a 'W' reply: its characters '.'..'@' up to the first zero
// byte, at most MaxCharacters of them, followed by one zero character that belongs
// to the text.
std::string DLUVersionText(std::span<const uint8_t> Reply, size_t MaxCharacters);
