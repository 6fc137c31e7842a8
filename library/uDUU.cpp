#include "uDUU.h"

#include <memory>

#include "uSensorRTCU.h"

namespace {

constexpr int32_t kParamHardwareKind = 11;
constexpr int32_t kParamUnitValue = 22;
constexpr int32_t kParamChannelMask = 28;
constexpr int32_t kEEPROMIdentity = 1;
constexpr uint8_t kKindRemote = 0;

int32_t Low32(int64_t Value) { return static_cast<int32_t>(static_cast<uint64_t>(Value)); }

}  // namespace

TDUU::~TDUU() { CloseDevice(); }

int32_t TDUU::GetTyp() { return IsDestroying.load() ? -1 : kTyp; }

void TDUU::GetName(std::u16string& Name) {
    if (!IsDestroying.load()) Name = u"DUU";
}

int32_t TDUU::Identify(d2xx::Handle, int64_t&) { return static_cast<int32_t>(GetRTUUParam(kParamHardwareKind)); }

bool TDUU::RefreshSensors(TDeviceStructure* Node) {
    if (IsDestroying.load() || !Node) return false;
    // While the unit streams, no request passes its reader test and each would read
    // away stream bytes: the unit stays as it is.
    if (Reader->IsActive()) return false;
    if (GetRTUUParam(kParamHardwareKind) == -1) return false;
    if (!Node->Sensors) return MakeUnit(*Node);
    return UpdateUnit(*Node->Sensors);
}

bool TDUU::ReadChannelCount(TSensorsRTCU& Sensor, TSensorStructure& Unit) {
    const int64_t mask = ReadParam(kUnitAddress, kParamChannelMask);
    if (mask == -1) return false;
    Sensor.SetChannelCount(static_cast<int32_t>(CountBits32(static_cast<uint32_t>(mask) & 0xFF)));
    Unit.ChannelCount = Sensor.GetChannelCount();
    return true;
}

bool TDUU::MakeUnit(TDeviceStructure& Node) {
    // Without its identity and channel mask the unit waits for the next refresh.
    const int64_t identity = ReadSensorParam(kUnitAddress, kEEPROMIdentity);
    if (identity == -1) return false;
    auto sensor = std::make_unique<TSensorsRTCU>();
    TSensorNodePtr unit(NewSensorNode(kKindRemote, sensor.get()));
    unit->Identity = Low32(identity);
    // The unit's reads in the device's order: identity, parameter 22, channel mask.
    const int64_t value2 = ReadParam(kUnitAddress, kParamUnitValue);
    if (value2 != -1) unit->Value2 = Low32(value2);
    if (!ReadChannelCount(*sensor, *unit)) return false;
    unit->Address = kUnitAddress;
    sensor->SetAddress(kUnitAddress);
    sensor->SetKind(kKindRemote);
    sensor->SetOwner(this);
    sensor->SetIdentity(unit->Identity);
    if (!AddSensor(sensor.get())) return false;
    sensor.release();
    Node.Sensors = unit.release();
    return true;
}

bool TDUU::UpdateUnit(TSensorStructure& Unit) {
    auto* sensor = dynamic_cast<TSensorsRTCU*>(static_cast<TTemplateSensors*>(Unit.Sensor));
    if (!sensor) return false;
    const int64_t read = ReadSensorParam(kUnitAddress, kEEPROMIdentity);
    if (read == -1) return false;
    const int32_t identity = Low32(read);
    Unit.Identity = identity;
    bool changed = false;
    // Another unit: its channel count. Kept as the old identity when the mask does
    // not come, so that the next refresh asks again.
    if (identity != sensor->GetIdentity() && ReadChannelCount(*sensor, Unit)) {
        sensor->SetIdentity(identity);
        changed = true;
    }
    const int64_t value3 = ReadParam(kUnitAddress, kParamUnitValue);
    if (value3 != -1) Unit.Value3 = Low32(value3);
    return changed;
}
