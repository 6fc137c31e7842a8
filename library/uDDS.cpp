#include "uDDS.h"

#include <array>

#include "uSensorDDS.h"

namespace {
constexpr uint8_t kReply = 0x38;  // '8'
constexpr int32_t kCodeStart = 22, kCodeStop = 23;
constexpr const char* kOpenCommand = "0017,1,\r";
constexpr const char* kCloseCommand = "0018,1,\r";

// The letter of a command code; 0 for a code without one.
uint8_t Letter(int32_t Code) {
    if (Code >= 17 && Code <= 20) return static_cast<uint8_t>('M' + (Code - 17));
    if (Code >= 22 && Code <= 26) return static_cast<uint8_t>('Q' + (Code - 22));
    return 0;
}
}  // namespace

TDDS::~TDDS() {
    int32_t reply = 0;
    try {
        SendCmdAndGetResponse(kCloseCommand, reply);
    } catch (...) {
    }
}

int32_t TDDS::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TDDS::GetName(std::u16string& Name) { Name = IsDestroying.load() ? u"" : u"DDS"; }

int32_t TDDS::OpenDevice(int32_t BaudRate, int32_t FlowControl) {
    const int32_t result = TRTUU::OpenDevice(BaudRate, FlowControl);
    int32_t reply = 0;
    SendCmdAndGetResponse(kOpenCommand, reply);
    return result;
}

int32_t TDDS::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    int32_t code = 0, value = 0;
    if (IsDestroying.load() || !ParseCommand(Cmd, code, value)) return -1;
    const uint8_t letter = Letter(code);
    if (!letter) return -1;
    const std::array<uint8_t, 6> frame{0x7D, 0x03, letter, kOwnAddress & 0xFF, kOwnAddress >> 8, 0x7E};
    const int32_t result = ShortCommand(frame, true, kReply);
    if (code == kCodeStart) StartMeasure();
    if (code == kCodeStop) StopMeasure();
    return result;
}

int32_t TDDS::SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) {
    if (IsDestroying.load()) return -1;
    return WriteParam(kOwnAddress, Param, Size, Value);
}

int64_t TDDS::GetRTUUParam(int32_t Param) {
    if (IsDestroying.load()) return -1;
    return ReadParam(kOwnAddress, Param);
}

bool TDDS::RefreshSensors(TDeviceStructure* Node) {
    if (IsDestroying.load()) return false;
    // Its answer is not used; while the reader streams the read would only take
    // stream bytes away.
    if (!Reader->IsActive()) GetRTUUParam(0);
    if (!Node || Node->Sensors) return false;
    return AddOnlySensorNode(Node, std::make_unique<TSensorsDDS>(this), kSensorKind);
}

int32_t TDDS::StartMeasure() {
    if (Reader->IsActive()) return 0;
    Reader->StartReceiving();
    Reader->ResumeThreads();
    return 0;
}

int32_t TDDS::StopMeasure() {
    Reader->SetActive(false);
    return 0;
}
