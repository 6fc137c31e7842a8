// Helpers of the networks-file tests: a private program folder per test, and
// trees written as plain values.
#pragma once

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tovamod.h"
#include "z5widestring.h"

namespace netstest {

namespace fs = std::filesystem;

// A fresh folder that serves as program folder (ZELTO5_PROGRAM_DIR) with a user
// configuration folder of its own (XDG_CONFIG_HOME) inside.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "z5nets-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        fs::create_directories(program());
        fs::create_directories(config());
        ::setenv("ZELTO5_PROGRAM_DIR", program().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", config().c_str(), 1);
    }
    ~ScratchFolder() {
        ::unsetenv("ZELTO5_PROGRAM_DIR");
        ::unsetenv("XDG_CONFIG_HOME");
        std::error_code ec;
        fs::permissions(program(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(root_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    fs::path root() const { return root_; }
    fs::path program() const { return root_ / "prog"; }
    fs::path config() const { return root_ / "cfg"; }
    fs::path userData() const { return config() / "zelto5"; }
    fs::path file(const char* name) const { return program() / name; }

private:
    fs::path root_;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::set<std::string> FilesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// Runs body in a child process; its exit code, or minus the signal that ended it
// (a child that hangs is ended after 30 s). asNobody: a test running as root
// runs the body as nobody, so that folder permissions hold.
inline int RunInChild(const std::function<int()>& body, bool asNobody = false) {
    pid_t pid = ::fork();
    if (pid == 0) {
        ::alarm(30);
        if (asNobody && ::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(90);
            ::prctl(PR_SET_DUMPABLE, 1);
        }
        int rc = 100;
        try {
            rc = body();
        } catch (...) {
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

// ---- trees as values -------------------------------------------------------

struct SensorValue {
    std::u16string type, mac;
    bool operator==(const SensorValue&) const = default;
};
struct DeviceValue {
    std::u16string type, mac;
    int32_t wchannel = 0;
    std::vector<SensorValue> sensors;
    bool operator==(const DeviceValue&) const = default;
};
struct NetworkValue {
    int32_t pk = 0;
    bool activated = false, quickLock = false;
    std::u16string date, description;
    std::vector<DeviceValue> devices;
    bool operator==(const NetworkValue&) const = default;
};
struct TreeValue {
    std::u16string password;
    bool passwordActive = false;
    std::vector<NetworkValue> networks;
    bool operator==(const TreeValue&) const = default;
};

inline void PrintTo(const TreeValue& t, std::ostream* os) {
    auto u8 = [](const std::u16string& s) { return z5::Utf16ToUtf8(s); };
    *os << "{pw=\"" << u8(t.password) << "\" " << t.passwordActive;
    for (const auto& n : t.networks) {
        *os << " [PK " << n.pk << " act " << n.activated << " ql " << n.quickLock << " \"" << u8(n.date) << "\" \""
            << u8(n.description) << "\"";
        for (const auto& d : n.devices) {
            *os << " (" << u8(d.type) << " " << u8(d.mac) << " ch " << d.wchannel;
            for (const auto& s : d.sensors) *os << " <" << u8(s.type) << " " << u8(s.mac) << ">";
            *os << ")";
        }
        *os << "]";
    }
    *os << "}";
}

// Builds a tree as a client would: records with calloc, strings with z5_wstr_alloc.
inline TZ5_HardLock_Networks* BuildTree(const TreeValue& value) {
    auto rec = [](size_t size) { return std::calloc(1, size); };
    auto* root = static_cast<TZ5_HardLock_Networks*>(rec(sizeof(TZ5_HardLock_Networks)));
    root->Password = z5::WideAlloc(value.password);
    root->PasswordIsActivated = value.passwordActive;
    TZ5_HardLock_Network** netTail = &root->First;
    for (const auto& n : value.networks) {
        auto* net = static_cast<TZ5_HardLock_Network*>(rec(sizeof(TZ5_HardLock_Network)));
        *netTail = net;
        netTail = &net->Next;
        net->PK = n.pk;
        net->Activated = n.activated;
        net->isQuickLock = n.quickLock;
        net->Date = z5::WideAlloc(n.date);
        net->Description = z5::WideAlloc(n.description);
        TZ5_HardLock_Device** devTail = &net->Hardwares;
        for (const auto& d : n.devices) {
            auto* dev = static_cast<TZ5_HardLock_Device*>(rec(sizeof(TZ5_HardLock_Device)));
            *devTail = dev;
            devTail = &dev->Next;
            dev->Type = z5::WideAlloc(d.type);
            dev->MAC_ID = z5::WideAlloc(d.mac);
            dev->WChannel = d.wchannel;
            TZ5_HardLock_Sensor** senTail = &dev->Sensors;
            for (const auto& s : d.sensors) {
                auto* sen = static_cast<TZ5_HardLock_Sensor*>(rec(sizeof(TZ5_HardLock_Sensor)));
                *senTail = sen;
                senTail = &sen->Next;
                sen->Type = z5::WideAlloc(s.type);
                sen->MAC_ID = z5::WideAlloc(s.mac);
            }
        }
    }
    return root;
}

inline TreeValue Describe(const TZ5_HardLock_Networks* tree) {
    TreeValue value;
    if (!tree) return value;
    value.password = z5::WideView(tree->Password);
    value.passwordActive = tree->PasswordIsActivated;
    for (auto* net = tree->First; net; net = net->Next) {
        NetworkValue n{net->PK, net->Activated != 0, net->isQuickLock != 0, z5::WideView(net->Date),
                      z5::WideView(net->Description), {}};
        for (auto* dev = net->Hardwares; dev; dev = dev->Next) {
            DeviceValue d{z5::WideView(dev->Type), z5::WideView(dev->MAC_ID), dev->WChannel, {}};
            for (auto* sen = dev->Sensors; sen; sen = sen->Next)
                d.sensors.push_back({z5::WideView(sen->Type), z5::WideView(sen->MAC_ID)});
            n.devices.push_back(d);
        }
        value.networks.push_back(n);
    }
    return value;
}

// A networks file of the given Document element body.
inline std::string NetsFile(const std::string& documentAttributes, const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<!DOCTYPE ns:qvl001 SYSTEM \"Z5Nets.dtd\" >\r\n"
           "<Document " + documentAttributes + ">\r\n" + body + "</Document>\r\n";
}

}  // namespace netstest
