/* Shared wide string: zero-terminated UTF-16 with its byte length (without the
   terminator) in the 32-bit word before the first character. One allocator and
   one free function, used by the library and by its clients alike. */
#ifndef Z5WIDESTRING_H
#define Z5WIDESTRING_H

#include <stdint.h>

#ifdef __cplusplus
typedef char16_t z5_char16;
extern "C" {
#else
#include <uchar.h>
typedef char16_t z5_char16;
#endif

/* Copies `count` UTF-16 units of `text` (may be NULL when count is 0) into a new
   shared wide string. Returns NULL when memory runs out. */
z5_char16* z5_wstr_alloc(const z5_char16* text, uint32_t count);
/* Releases a string from z5_wstr_alloc (or from the library); NULL is ignored. */
void z5_wstr_free(z5_char16* text);
/* Number of UTF-16 units (byte length / 2); 0 for NULL. */
uint32_t z5_wstr_length(const z5_char16* text);

#ifdef __cplusplus
}

#include <string>
#include <string_view>

namespace z5 {

inline z5_char16* WideAlloc(std::u16string_view s) {
    return z5_wstr_alloc(s.data(), static_cast<uint32_t>(s.size()));
}
inline std::u16string WideView(const z5_char16* s) {
    return s ? std::u16string(s, z5_wstr_length(s)) : std::u16string();
}

// UTF-8 <-> UTF-16; invalid input bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
// 8-bit text as Latin-1 (each byte one character) and back (characters above 0xFF become '?').
std::u16string Latin1ToUtf16(std::string_view s);
std::string Utf16ToLatin1(std::u16string_view s);

}  // namespace z5
#endif

#endif
