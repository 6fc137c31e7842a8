// Shared by the discovery tests: a private program folder and sysfs root per
// test, bounded waits, and hardware structures and networks trees as values.
#pragma once
#include "z5test_networks.h"
#include "z5test_wait.h"

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

using z5test::WaitUntil;

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


inline TZ5_HardLock_Networks* ActiveNetwork(const std::vector<BaseValue>& Bases) {
    std::vector<z5test::NetBase> bases;
    for (const BaseValue& b : Bases) bases.push_back({b.mac, b.channel, {}});
    return z5test::ActiveNetwork(bases, "Lab A");
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
