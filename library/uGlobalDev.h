// Hardware structure records and their helpers: the device kind table, the
// recognition of a device kind from its USB description, node list handling
// and the deep copy handed to clients.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "tovamod.h"

// Channel values of one measurement.
using IntArray = std::vector<int32_t>;

// Sum of the sensor counts of the radio base, Desk-Port and Starter-Port devices,
// rebuilt by every scan; the stream parser treats a sum of 1 specially.
inline std::atomic<int32_t> SensorCountSum{0};

// Device classes the scan creates.
enum class TDeviceClass { RTUU, DUU, DLU, Timer62, UNIZ, LIGHTSPEED, DDS, XRAY };

// One device kind: node Kind, the class made for it and that class's Typ and Name.
struct TDeviceKindInfo {
    uint8_t Kind;
    TDeviceClass Class;
    std::string_view ClassName;
    int32_t Typ;
    std::u16string_view Name;
};

inline constexpr std::array<TDeviceKindInfo, 9> DeviceKinds{{
    {TOVAMOD_KIND_FIELD_PORT, TDeviceClass::DLU, "TDLU", 3, u"DLU"},
    {TOVAMOD_KIND_RADIO_MASTER, TDeviceClass::RTUU, "TRTUU", 2, u"RTUU"},
    {TOVAMOD_KIND_DESK_PORT, TDeviceClass::DUU, "TDUU", 5, u"DUU"},
    {TOVAMOD_KIND_TIMER62, TDeviceClass::Timer62, "TTimer62", 8, u"TIMER62"},
    {TOVAMOD_KIND_UNIVERSAL_COUNTER, TDeviceClass::UNIZ, "TUNIZ", 7, u"UNIZ"},
    {TOVAMOD_KIND_SPEED_OF_LIGHT, TDeviceClass::LIGHTSPEED, "TLIGHTSPEED", 6, u"SOL"},
    {TOVAMOD_KIND_FUNCTION_GENERATOR, TDeviceClass::DDS, "TDDS", 10, u"DDS"},
    {TOVAMOD_KIND_XRAY, TDeviceClass::XRAY, "TXRAY", 10, u"DDS"},
    {TOVAMOD_KIND_STARTER_PORT, TDeviceClass::DUU, "TDUU", 5, u"DUU"},
}};

// The kind's entry, or nullptr for a value that is no device kind.
const TDeviceKindInfo* FindDeviceKind(uint8_t Kind);

// Description rules in the order the scan tests them: the first rule with a
// case-sensitive substring match wins; ExactKind applies instead of Kind when
// the description equals Exactly.
struct TDescriptionRule {
    std::array<std::string_view, 3> Contains;  // any of these (empty entries unused)
    uint8_t Kind;
    std::string_view Exactly;
    uint8_t ExactKind;
};

inline constexpr std::array<TDescriptionRule, 8> DescriptionRules{{
    {{"Zelto5 Radio Master", "Serial", {}}, TOVAMOD_KIND_RADIO_MASTER, {}, 0},
    {{"Zelto5 Desk-Port", "Zelto5 Desk Port", "Zelto5 Starter-Port"}, TOVAMOD_KIND_DESK_PORT,
     "Zelto5 Starter-Port", TOVAMOD_KIND_STARTER_PORT},
    {{"Zelto5 Field-Port", {}, {}}, TOVAMOD_KIND_FIELD_PORT, {}, 0},
    {{"Timer 6-2 71304.52", {}, {}}, TOVAMOD_KIND_TIMER62, {}, 0},
    {{"Universal Counter 52817.30", {}, {}}, TOVAMOD_KIND_UNIVERSAL_COUNTER, {}, 0},
    {{"Speed of Light Meter 38410.00", {}, {}}, TOVAMOD_KIND_SPEED_OF_LIGHT, {}, 0},
    {{"Function Generator 60275.44", {}, {}}, TOVAMOD_KIND_FUNCTION_GENERATOR, {}, 0},
    {{"X-Ray 27739.15", {}, {}}, TOVAMOD_KIND_XRAY, {}, 0},
}};

// Device kind for a USB description, 0 when no rule matches.
uint8_t RecognizeDeviceKind(std::string_view Description);

// ---- device nodes (live structure; the scan holds the device-list lock) ----

// New node: Kind, Device, Active 1, SerialNo (8-bit text, each byte one
// character), no sensors, unlinked. Throws std::bad_alloc.
TDeviceStructure* NewDeviceNode(uint8_t Kind, void* Device, std::string_view SerialNo);
// Appends Node at the tail of Root's list.
void AppendDeviceNode(THardwareStructure& Root, TDeviceStructure* Node);
// Links Node's neighbours to each other (First when Node is the head); Node's
// own links become nullptr.
void UnlinkDeviceNode(THardwareStructure& Root, TDeviceStructure* Node);
// Frees an unlinked node with its sensor nodes and its SerialNo; nullptr is ignored.
void FreeDeviceNode(TDeviceStructure* Node);
// Frees every device node of Root; First becomes nullptr.
void FreeDeviceNodes(THardwareStructure& Root);
// The node whose SerialNo equals SerialNo (8-bit text), or nullptr.
TDeviceStructure* FindDeviceNode(const THardwareStructure& Root, std::string_view SerialNo);

// ---- sensor nodes (maintained by the device class of their device node) ----

// New node: Kind, Sensor, Identity -1, all other values 0, unlinked. Throws std::bad_alloc.
TSensorStructure* NewSensorNode(uint8_t Kind, void* Sensor);
// Appends Node at the tail of Device's sensor list.
void AppendSensorNode(TDeviceStructure& Device, TSensorStructure* Node);
// Links Node's neighbours to each other (Sensors when Node is the head); Node's
// own links become nullptr.
void UnlinkSensorNode(TDeviceStructure& Device, TSensorStructure* Node);
// Frees an unlinked sensor node; nullptr is ignored.
void FreeSensorNode(TSensorStructure* Node);
// Frees every sensor node of Device; Sensors becomes nullptr.
void FreeSensorNodes(TDeviceStructure& Device);
// Owns a sensor node until it is linked into a device node.
struct TSensorNodeDeleter {
    void operator()(TSensorStructure* Node) const { FreeSensorNode(Node); }
};
using TSensorNodePtr = std::unique_ptr<TSensorStructure, TSensorNodeDeleter>;

// ---- copies handed to clients ----

// Deep copy of Live (the caller holds the device-list lock): Changed,
// RadioMasterPresent and ScanTime; the active device nodes in order, of the
// Starter-Port nodes only the first; each with its own SerialNo and its sensor
// nodes in order. Shares no memory with Live. Throws std::bad_alloc (nothing leaks).
THardwareStructure* DeepCopyHardwareStructure(const THardwareStructure& Live);
// Frees a root from DeepCopyHardwareStructure with all its nodes; nullptr is ignored.
void FreeHardwareStructureCopy(THardwareStructure* Copy);
