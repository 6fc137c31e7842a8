#include "uXray.h"

#include <array>

#include "uSensorXray.h"

namespace {
constexpr uint8_t kReply = 0x1B;
}  // namespace

TXRAY::~TXRAY() {
    IsDestroying.store(true);
    CloseDevice();
}

int32_t TXRAY::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TXRAY::GetName(std::u16string& Name) { Name = IsDestroying.load() ? u"" : u"DDS"; }

int32_t TXRAY::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    int32_t code = 0, value = 0;
    if (IsDestroying.load() || !ParseCommand(Cmd, code, value)) return -1;
    uint8_t command;
    switch (code) {
        case 17: command = 0x2A; break;
        case 18: command = 0x2B; break;
        case 19: command = 0x2C; break;
        default: return -1;
    }
    const std::array<uint8_t, 7> frame{0x7D, 0x04, command, 0x00, 0x00, static_cast<uint8_t>(value), 0x7E};
    return ShortCommand(frame, code == 17, kReply);
}

bool TXRAY::RefreshSensors(TDeviceStructure* Node) {
    if (IsDestroying.load()) return false;
    return AddOnlySensorNode(Node, std::make_unique<TSensorsXRAY>(this), kSensorKind);
}
