#include "uSpeedofLight.h"

#include <array>

#include "uD2XX.h"
#include "uSensorSpeedofLight.h"

namespace {
constexpr uint8_t kReply = 0x1B;
constexpr std::array<uint8_t, 6> kStopFrame{0x7D, 0x03, 0x32, 0x00, 0x00, 0x7E};
constexpr std::array<uint8_t, 6> kZeroFrame{0x7D, 0x03, 0x4B, 0x00, 0x00, 0x7E};
constexpr std::array<uint8_t, 6> kClosingFrame{0x7D, 0x03, 0x28, 0x00, 0x00, 0x7E};
constexpr uint32_t kConfirmationBytes = 4;
}  // namespace

TLIGHTSPEED::TLIGHTSPEED() { OneSensorForEveryAddress.store(true); }

TLIGHTSPEED::~TLIGHTSPEED() {
    IsDestroying.store(true);
    CloseDevice();
}

int32_t TLIGHTSPEED::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TLIGHTSPEED::GetName(std::u16string& Name) { Name = IsDestroying.load() ? u"" : u"SOL"; }

int32_t TLIGHTSPEED::SendCmdAndGetResponse(const char* Cmd, int32_t&) {
    int32_t code = 0, value = 0;
    if (IsDestroying.load() || !ParseCommand(Cmd, code, value)) return -1;
    switch (code) {
        case 5: return TRTUU::StartMeasure();
        case 6: return MeterStop();
        case 19: return ShortCommand(std::array<uint8_t, 6>{0x7D, 0x03, 'M', 0x00, 0x00, 0x7E}, true, kReply);
        case 20: return ShortCommand(std::array<uint8_t, 6>{0x7D, 0x03, 'N', 0x00, 0x00, 0x7E}, false, kReply);
        default: return -1;
    }
}

int32_t TLIGHTSPEED::MeterStop() {
    // No reply is judged, so none is awaited; what the start set is cleared either way.
    const bool sent = ShortSend(kStopFrame, true);
    Reader->SetActive(false);
    MeasureMode.store(false);
    MeasureStarted.store(false);
    return sent ? 0 : -1;
}

int32_t TLIGHTSPEED::Zero() {
    if (IsDestroying.load()) return -1;
    const TFrameReply reply = ShortExchange(kZeroFrame, true, true);
    return IsEmptyReply(reply) ? 0 : -1;
}

bool TLIGHTSPEED::RefreshSensors(TDeviceStructure* Node) {
    if (IsDestroying.load()) return false;
    return AddOnlySensorNode(Node, std::make_unique<TSensorsSpeedofLight>(this), kSensorKind);
}

TTemplateSensors* TLIGHTSPEED::FindSensorByAddress(int32_t Address) { return TRTUU::FindSensorByAddress(Address); }

TSensorsSpeedofLight* TLIGHTSPEED::OnlySensor() {
    return dynamic_cast<TSensorsSpeedofLight*>(TRTUU::FindSensorByAddress(0));
}

int32_t TLIGHTSPEED::SetRTUUParam(int32_t Param, int32_t Size, int32_t Value) {
    if (IsDestroying.load()) return -1;
    const int32_t result = WriteParam(0, Param, Size, Value);
    if (result == -1 || Param != kParamSamplePeriod) return result;
    {
        // Under the tables' lock, so that the sensor cannot go meanwhile.
        std::lock_guard device(DeviceLock);
        if (TSensorsSpeedofLight* sensor = OnlySensor()) sensor->StoreSamplePeriod2(Value);
    }
    SetReaderTimeBase(static_cast<uint32_t>(Value));
    return result;
}

TRTUU::TUpdateConstants TLIGHTSPEED::UpdateConstants() const {
    TUpdateConstants c;
    c.ImageSize = 500000;
    c.BlockSize = 200;
    c.BlockAttempts = 1;
    c.StartWaitMs = 500;
    c.StartWaitBytes = 4;
    c.BlockWaitMs = 500;
    c.BlockWaitBytes = 10;
    c.BlockBytesNeeded = 10;
    c.FinishWaitMs = 500;
    c.FinishWaitBytes = 4;
    return c;
}

int32_t TLIGHTSPEED::UpdateFinish(int32_t Address, uint32_t CheckValue) {
    if (IsDestroying.load()) return -1;
    D2XXGuard guard;
    const TFrameReply reply = FinishExchange(Address, CheckValue);
    const int32_t first = JudgeUpdateReply(reply);
    if (first != 0) return first;
    // The meter confirms a second time once the new firmware is in place; a meter
    // that stays silent has confirmed once, which counts. A confirmation right behind
    // the first one waits on the line (the read ended with the first frame), unless
    // the reads went on until the line fell quiet and took it too.
    const size_t firstLength = static_cast<size_t>(reply.Len()) + 3;
    const TFrameReply second =
        reply.Count() > firstLength
            ? TFrameReply(std::vector<uint8_t>(reply.Bytes().begin() + static_cast<std::ptrdiff_t>(firstLength),
                                               reply.Bytes().end()),
                          reply.StatusOk())
            : UpdateWait(kSecondConfirmationMs, kConfirmationBytes, 1);
    if (second.Count() > 0) {
        const int32_t verdict = JudgeUpdateReply(second);
        if (verdict != 0) return verdict;
    }
    PurgeTx();
    std::copy(kClosingFrame.begin(), kClosingFrame.end(), TransmitBuffer);
    WriteFrame(static_cast<int>(kClosingFrame.size()));
    return 0;
}
