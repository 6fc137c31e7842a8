// RefreshSensors of TRTUU: the radio units of the node list become sensor objects
// and sensor nodes when the networks file admits them, are ejected from the radio
// network when it does not, and go when a valid node list no longer holds them.
#include <memory>

#include "uRTUU.h"
#include "uSensorRCU.h"
#include "uSensorRTCU.h"
#include "z5widestring.h"

namespace {

constexpr int32_t kParamOwnAddress = 4;     // device parameter: the own radio unit's address
constexpr int32_t kParamOwnEject = 6;       // own unit: 99 ejects it
constexpr int32_t kParamRemoteEject = 25;   // remote unit: 99 ejects it
constexpr int32_t kEjectValue = 99;
constexpr int32_t kEjectedAddress = -99;    // node address of an ejected unit
constexpr int32_t kListEnd = 99;            // node list entries from here on end phase 1
constexpr int32_t kEEPROMIdentity = 1;
constexpr int32_t kParamChannelMask = 28;
constexpr int32_t kParamOwnValue1 = 7;
constexpr int32_t kParamOwnValue3 = 8;
constexpr uint8_t kKindRemote = 0;
constexpr uint8_t kKindOwn = 1;
// Fresh node lists one refresh asks for a unit whose identity read fails; then it
// waits for the next scan.
constexpr int kIdentityRetries = 2;

int32_t Low32(int64_t Value) { return static_cast<int32_t>(static_cast<uint64_t>(Value)); }

TTemplateSensors* SensorOf(const TSensorStructure& Unit) { return static_cast<TTemplateSensors*>(Unit.Sensor); }

TSensorStructure* FindUnitNode(const TDeviceStructure& Node, int32_t Address) {
    for (TSensorStructure* q = Node.Sensors; q; q = q->Next)
        if (q->Address == Address) return q;
    return nullptr;
}

// The reader stays paused for the whole refresh, so no stream byte is read between requests.
class TReaderPause {
public:
    explicit TReaderPause(TFtdiDevice& Reader) : Reader(Reader) { Reader.SetReaderPaused(true); }
    ~TReaderPause() { Reader.SetReaderPaused(false); }
    TReaderPause(const TReaderPause&) = delete;
    TReaderPause& operator=(const TReaderPause&) = delete;

private:
    TFtdiDevice& Reader;
};

}  // namespace

bool TRTUU::RefreshSensors(TDeviceStructure* Node) {
    if (IsDestroying.load() || !Node) return false;
    // While a measurement runs no request of the refresh can pass its reader test, and
    // each would read away stream bytes: the units and their queues stay as they are.
    if (Reader->IsActive()) return false;
    TReaderPause pause(*Reader);
    const bool listValid = ReadNodeList();
    bool changed = AdmitListedUnits(*Node);
    if (UpdateSensorNodes(*Node, listValid)) changed = true;
    return changed;
}

bool TRTUU::IsListed(int32_t Address) const {
    for (int32_t a : NodeAddresses) {
        if (a == -1) return false;
        if (a == Address) return true;
    }
    return false;
}

// Phase 1: every listed unit, up to the end mark.
bool TRTUU::AdmitListedUnits(TDeviceStructure& Node) {
    bool changed = false;
    for (size_t i = 0; i < NodeAddresses.size(); ++i) {
        const int32_t a = NodeAddresses[i];
        if (a == -1 || a >= kListEnd) break;
        if (TSensorStructure* known = FindUnitNode(Node, a)) CheckKnownUnit(*known);
        else if (AdmitNewUnit(Node, a)) changed = true;
    }
    return changed;
}

bool TRTUU::AdmitNewUnit(TDeviceStructure& Node, int32_t Address) {
    const int64_t own = GetRTUUParam(kParamOwnAddress);
    // Without the own address the unit's kind is unknown: it waits for the next refresh.
    if (own == -1) return false;
    const bool ownUnit = Low32(own) == Address;

    // The lock is tested first; without an admission check nothing is allowed.
    bool allowed = false;
    std::string mac;
    if (GetNetworkLock()) {
        mac = GetMACExtAddr(Address, ownUnit);
        // An unknown MAC says nothing about the unit: neither admitted nor ejected now.
        if (mac == kNoMAC) return false;
        allowed = SensorAllowed(mac, GetOwnMAC());
    }
    if (!allowed) {
        EjectUnit(Address, ownUnit);
        return false;
    }

    std::unique_ptr<TTemplateSensors> sensor;
    if (ownUnit) {
        auto rcu = std::make_unique<TSensorsRCU>();
        rcu->SetOwner(this);
        sensor = std::move(rcu);
    } else {
        auto rtcu = std::make_unique<TSensorsRTCU>();
        rtcu->SetOwner(this);
        sensor = std::move(rtcu);
    }
    sensor->SetAddress(Address);
    sensor->SetKind(ownUnit ? kKindOwn : kKindRemote);
    sensor->SetMACText(z5::Latin1ToUtf16(mac));

    TSensorNodePtr unit(NewSensorNode(ownUnit ? kKindOwn : kKindRemote, sensor.get()));
    unit->Address = Address;
    if (!AddSensor(sensor.get())) return false;
    sensor.release();
    AppendSensorNode(Node, unit.release());
    return true;
}

// A known unit that the networks file no longer admits is ejected; phase 2 removes it.
void TRTUU::CheckKnownUnit(TSensorStructure& Unit) {
    TTemplateSensors* sensor = SensorOf(Unit);
    const bool allowed =
        GetNetworkLock() && sensor && SensorAllowed(z5::Utf16ToLatin1(sensor->GetMACText()), GetOwnMAC());
    if (allowed) return;
    EjectUnit(Unit.Address, Unit.Kind == kKindOwn);
    Unit.Address = kEjectedAddress;
}

void TRTUU::EjectUnit(int32_t Address, bool OwnUnit) {
    WriteParam(Address, OwnUnit ? kParamOwnEject : kParamRemoteEject, 1, kEjectValue);
}

// Phase 2: every sensor node in order.
bool TRTUU::UpdateSensorNodes(TDeviceStructure& Node, bool ListValid) {
    bool changed = false;
    bool freshList = false;
    int retries = 0;
    for (TSensorStructure* q = Node.Sensors; q;) {
        if (freshList) {
            ListValid = ReadNodeList();
            freshList = false;
        }
        TSensorStructure* next = q->Next;
        const bool ejected = q->Address == kEjectedAddress;
        if (!ejected && IsListed(q->Address)) {
            if (q->Kind == kKindOwn) {
                UpdateOwnUnit(*q);
            } else if (!UpdateRemoteUnit(*q, changed) && retries < kIdentityRetries) {
                // The identity did not come: ask whether the unit is still there, then try again.
                ++retries;
                freshList = true;
                continue;
            }
        } else if (ejected || ListValid) {
            // Only an ejection or a valid list without the unit removes it; a failed or
            // refused list (a measurement runs) keeps every sensor and its queue.
            UnlinkSensorNode(Node, q);
            RemoveSensor(SensorOf(*q), q->Kind);
            FreeSensorNode(q);
            changed = true;
        }
        retries = 0;
        q = next;
    }
    return changed;
}

// False when the identity read failed (nothing changed then).
bool TRTUU::UpdateRemoteUnit(TSensorStructure& Unit, bool& Changed) {
    auto* sensor = dynamic_cast<TSensorsRTCU*>(SensorOf(Unit));
    if (!sensor) return true;
    const int64_t read = ReadSensorParam(Unit.Address, kEEPROMIdentity);
    if (read == -1) return false;
    const int32_t identity = Low32(read);
    if (!sensor->HasIdentity() || sensor->GetIdentity() != identity) {
        // Another unit (or the first answer) at this address: its channel mask. A failed
        // read stores nothing, so the next refresh asks again.
        const int64_t mask = ReadParam(Unit.Address, kParamChannelMask);
        if (mask != -1) {
            sensor->SetChannelCount(static_cast<int32_t>(CountBits32(static_cast<uint32_t>(mask) & 0xFF)));
            sensor->SetIdentity(identity);
            Unit.Identity = identity;
            Unit.ChannelCount = sensor->GetChannelCount();
            Changed = true;
        }
    } else {
        Unit.Identity = identity;
    }
    // The values stay as they were when the block read fails.
    TRTCUParam params{};
    if (ReadRTCUParams(Unit.Address, &params) == 1) {
        Unit.Value1 = params.Param23;
        Unit.Value2 = params.Param21;
        Unit.Value3 = params.Param16;
    }
    z5_wstr_free(params.Param3);
    return true;
}

void TRTUU::UpdateOwnUnit(TSensorStructure& Unit) {
    Unit.Value1 = Low32(ReadParam(Unit.Address, kParamOwnValue1));
    Unit.Value3 = Low32(ReadParam(Unit.Address, kParamOwnValue3));
}

bool TRTUU::AddOnlySensorNode(TDeviceStructure* Node, std::unique_ptr<TTemplateSensors> Sensor, uint8_t Kind) {
    if (!Node || Node->Sensors || !Sensor) return false;
    Sensor->SetAddress(1);
    Sensor->SetKind(Kind);
    TSensorNodePtr unit(NewSensorNode(Kind, Sensor.get()));
    unit->Address = 1;
    unit->ChannelCount = Sensor->GetChannelCount();
    if (!AddSensor(Sensor.get())) return false;
    Sensor.release();
    Node->Sensors = unit.release();
    return true;
}
