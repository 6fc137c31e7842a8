// The data logger's version reply: any bytes give a text of at most 41 of the
// characters '.'..'@', taken up to the first zero byte, and one closing zero.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "uDLU.h"
#include "uDLUReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string version = DLUVersionText(std::span<const uint8_t>(data, size), TDLU::kVersionMax);
    if (version.empty() || version.back() != '\0' || version.size() > TDLU::kVersionMax + 1) std::abort();
    size_t next = 0;  // the characters in reply order
    for (size_t i = 0; i + 1 < version.size(); ++i) {
        const char c = version[i];
        if (c < '.' || c > '@') std::abort();
        while (next < size && data[next] != static_cast<uint8_t>(c)) {
            if (data[next] == 0) std::abort();
            ++next;
        }
        if (next++ >= size) std::abort();
    }
    return 0;
}
