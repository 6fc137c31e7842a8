#include "uTimer62.h"

#include <array>

namespace {
constexpr uint8_t kReply = 0x1B;
}  // namespace

TTimer62::~TTimer62() { CloseDevice(); }

int32_t TTimer62::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TTimer62::GetName(std::u16string& Name) {
    if (!IsDestroying.load()) Name = u"TIMER62";
}

int32_t TTimer62::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    int32_t code = 0, value = 0;
    if (IsDestroying.load() || !ParseCommand(Cmd, code, value)) return -1;
    if (code != 17 && code != 18) return -1;
    const std::array<uint8_t, 6> frame{0x7D, 0x03, static_cast<uint8_t>(code == 17 ? 'L' : 'M'), 0x00, 0x00, 0x7E};
    return ShortCommand(frame, code == 17, kReply);
}
