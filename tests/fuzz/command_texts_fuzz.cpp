// The command texts a client passes to tovamod_Device_SendCmdAndGetResponse, as
// the radio base (ParseCommandText), the instruments and the data logger read
// them. Checks, besides the sanitizers:
// - a text without a carriage return is refused by all three, values zeroed;
// - the instruments' and the logger's readings never throw;
// - where the radio base reads a code, the instruments read the same code.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>

#include "uDLUReplies.h"
#include "uRTUUReplies.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string_view upToZero(text.c_str());  // what a C caller's text holds
    const bool hasCr = upToZero.find('\r') != std::string_view::npos;

    int32_t code = -77, v1 = -1, v2 = -1, v3 = -1;
    bool parsed = false, threw = false;
    try {
        parsed = ParseCommandText(upToZero, code, v1, v2, v3);
    } catch (const std::invalid_argument&) {
        threw = true;
    }
    if (!hasCr) Check(!parsed && !threw && code == -77 && v1 == 0 && v2 == 0 && v3 == 0);

    int32_t icode = -77, ivalue = -1;
    const bool instrument = ParseInstrumentCommand(text.c_str(), icode, ivalue);
    Check(instrument == parsed);
    if (parsed) Check(icode == code && ivalue == v1);

    int32_t dcode = -77;
    const bool logger = ParseDLUCommandCode(text.c_str(), dcode);
    if (!hasCr) Check(!logger && dcode == -77);
    if (!logger) Check(dcode == -77);
    Check(!ParseInstrumentCommand(nullptr, icode, ivalue) && !ParseDLUCommandCode(nullptr, dcode));
    return 0;
}
