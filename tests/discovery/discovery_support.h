// Shared by the discovery tests: a private program folder and sysfs root per
// test, bounded waits, and hardware structures and networks trees as values.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tovamod.h"
#include "z5sim_bus.h"
#include "z5widestring.h"

namespace discovery_test {

namespace fs = std::filesystem;

// A program folder (ZELTO5_PROGRAM_DIR, where the networks file goes) and a user
// configuration folder of the test's own, and a simulator bus as sysfs root.
class Scene {
public:
    Scene() {
        std::string pattern = (fs::temp_directory_path() / "z5disc-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(Program());
        fs::create_directories(root_ / "cfg");
        ::setenv("ZELTO5_PROGRAM_DIR", Program().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root_ / "cfg").c_str(), 1);
        bus.Export();
    }
    ~Scene() {
        bus.UnplugAll();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    fs::path Program() const { return root_ / "prog"; }

    z5sim::Bus bus;

private:
    fs::path root_;
};

// Polls Done every millisecond until it holds or Limit (real time) has passed.
inline bool WaitUntil(const std::function<bool()>& Done, std::chrono::milliseconds Limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + Limit;
    while (!Done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A device node of a copy as a value.
struct NodeValue {
    uint8_t kind = 0;
    std::string serial;
    void* device = nullptr;
    bool operator==(const NodeValue& o) const { return kind == o.kind && serial == o.serial; }
};

inline void PrintTo(const NodeValue& n, std::ostream* os) { *os << "{" << int(n.kind) << " " << n.serial << "}"; }

// Device nodes in order, after checking the links both ways.
inline std::vector<NodeValue> Nodes(const THardwareStructure* root) {
    std::vector<NodeValue> out;
    if (!root) return out;
    const TDeviceStructure* prev = nullptr;
    for (const TDeviceStructure* n = root->First; n; n = n->Next) {
        EXPECT_EQ(n->Prev, prev);
        out.push_back({n->Kind, z5::Utf16ToUtf8(z5::WideView(n->SerialNo)), n->Device});
        prev = n;
    }
    return out;
}

// MAC text of a 64-bit MAC: 16 upper-case hex digits, most significant first.
inline std::string MacText(uint64_t mac) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(mac));
    return text;
}

// A networks tree built as a client builds one (malloc, z5_wstr_alloc): one
// activated network with these radio bases (MAC, channel) and no sensor units.
struct BaseValue {
    std::string mac;
    int32_t channel;
};

inline z5_char16* Wide(const std::string& s) { return z5::WideAlloc(z5::Utf8ToUtf16(s)); }

inline TZ5_HardLock_Networks* ActiveNetwork(const std::vector<BaseValue>& Bases) {
    auto* tree = static_cast<TZ5_HardLock_Networks*>(std::calloc(1, sizeof(TZ5_HardLock_Networks)));
    tree->Password = Wide("");
    auto* net = static_cast<TZ5_HardLock_Network*>(std::calloc(1, sizeof(TZ5_HardLock_Network)));
    tree->First = net;
    net->Activated = 1;
    net->PK = 1;
    net->Date = Wide("1.2.2024");
    net->Description = Wide("Lab A");
    TZ5_HardLock_Device** tail = &net->Hardwares;
    for (const BaseValue& b : Bases) {
        auto* dev = static_cast<TZ5_HardLock_Device*>(std::calloc(1, sizeof(TZ5_HardLock_Device)));
        dev->Type = Wide("RTUU");
        dev->MAC_ID = Wide(b.mac);
        dev->WChannel = b.channel;
        *tail = dev;
        tail = &dev->Next;
    }
    return tree;
}

// Releases a tree made by ActiveNetwork (the client's own tree).
inline void ReleaseTree(TZ5_HardLock_Networks* tree) {
    if (!tree) return;
    for (TZ5_HardLock_Network* net = tree->First; net;) {
        TZ5_HardLock_Network* nextNet = net->Next;
        for (TZ5_HardLock_Device* dev = net->Hardwares; dev;) {
            TZ5_HardLock_Device* nextDev = dev->Next;
            z5_wstr_free(dev->Type);
            z5_wstr_free(dev->MAC_ID);
            std::free(dev);
            dev = nextDev;
        }
        z5_wstr_free(net->Date);
        z5_wstr_free(net->Description);
        std::free(net);
        net = nextNet;
    }
    z5_wstr_free(tree->Password);
    std::free(tree);
}

}  // namespace discovery_test
