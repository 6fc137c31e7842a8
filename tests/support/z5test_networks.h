// A networks tree as a client builds it: one activated network of radio bases
// with the units each admits.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tovamod.h"
#include "z5widestring.h"

namespace z5test {

struct NetUnit {
    std::string type;  // "RTCU" or "RCU"
    std::string mac;   // 16 hexadecimal digits
};

struct NetBase {
    std::string mac;
    int32_t channel = 11;
    std::vector<NetUnit> units;
};

inline z5_char16* Wide(const std::string& s) { return z5::WideAlloc(z5::Utf8ToUtf16(s)); }

// Allocated with calloc and the shared wide-string allocator, as the library's
// own trees are; released by z5_nets_free.
inline TZ5_HardLock_Networks* ActiveNetwork(const std::vector<NetBase>& bases, const std::string& description = "Lab") {
    auto* tree = static_cast<TZ5_HardLock_Networks*>(std::calloc(1, sizeof(TZ5_HardLock_Networks)));
    tree->Password = Wide("");
    auto* net = static_cast<TZ5_HardLock_Network*>(std::calloc(1, sizeof(TZ5_HardLock_Network)));
    tree->First = net;
    net->Activated = 1;
    net->PK = 1;
    net->Date = Wide("1.2.2024");
    net->Description = Wide(description);
    TZ5_HardLock_Device** baseTail = &net->Hardwares;
    for (const NetBase& b : bases) {
        auto* base = static_cast<TZ5_HardLock_Device*>(std::calloc(1, sizeof(TZ5_HardLock_Device)));
        base->Type = Wide("RTUU");
        base->MAC_ID = Wide(b.mac);
        base->WChannel = b.channel;
        TZ5_HardLock_Sensor** unitTail = &base->Sensors;
        for (const NetUnit& u : b.units) {
            auto* unit = static_cast<TZ5_HardLock_Sensor*>(std::calloc(1, sizeof(TZ5_HardLock_Sensor)));
            unit->Type = Wide(u.type);
            unit->MAC_ID = Wide(u.mac);
            *unitTail = unit;
            unitTail = &unit->Next;
        }
        *baseTail = base;
        baseTail = &base->Next;
    }
    return tree;
}

}  // namespace z5test
