// The networks file Z5NETS.XML (with its document type Z5NETS.DTD and backup
// Z5NETS.BAK) and the in-memory tree of it: which radio bases and sensor units
// belong to the active radio network.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "tovamod.h"

namespace pugi {
class xml_document;
}

// Raised when the networks file cannot be read or written.
class EZ5NetsFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Deep copy of a tree into new records (nil for nil). Throws std::bad_alloc and
// then leaves nothing allocated.
TZ5_HardLock_Networks* CopyNetworksTree(const TZ5_HardLock_Networks* tree);

class TZ5NetsFileController {
public:
    TZ5NetsFileController();
    ~TZ5NetsFileController();
    TZ5NetsFileController(const TZ5NetsFileController&) = delete;
    TZ5NetsFileController& operator=(const TZ5NetsFileController&) = delete;

    // Writes the missing files, loads Z5NETS.XML and builds the tree. The
    // files live in z5::WritableDataDir(); while that folder holds no networks
    // file, a program folder that cannot be written is read instead, and the
    // first save goes to the writable folder. A link is followed. Throws
    // EZ5NetsFileError when the file cannot be read (also when it, or what a
    // link leads to, is no regular file, or a link leads nowhere).
    void InitNetworksFile();
    // Rebuilds the tree and the active network from the document in memory.
    // Throws EZ5NetsFileError on a malformed document; the tree then holds
    // what was read before.
    void LoadNetworks();
    // Writes the tree into the file (the previous document goes to Z5NETS.BAK
    // first), then reloads. Through a link the file it leads to is written,
    // with the backup beside it; links stay links. The tree stays the
    // caller's; nil does nothing. Throws EZ5NetsFileError when a file cannot
    // be written; the file and the tree in memory then stay as they were.
    void SaveNetworks(const TZ5_HardLock_Networks* tree);
    // A new deep copy of the tree, owned by the caller; nil before a load.
    TZ5_HardLock_Networks* GetNetworksCopy();
    static void FreeNetworks(TZ5_HardLock_Networks*& tree);

    // True when no network is active, or when mac is a radio base or sensor
    // unit of the active network. wChannel: the base's channel, else -1.
    bool IsMACInActiveNet(const std::string& mac, int32_t& wChannel);
    // True when no network is active, or when a radio base hardwareMAC of the
    // active network lists the sensor unit sensorMAC.
    bool IsSensorOfHardware(const std::string& sensorMAC, const std::string& hardwareMAC);
    void GetDescriptionActiveNet(uint8_t& exists, std::u16string& description);

    // Set by every load; reading returns the flag and clears it.
    bool Changed();
    void SetChanged(bool value);

private:
    void ReadTree();

    std::unique_ptr<pugi::xml_document> fDocument;
    TZ5_HardLock_Network* fActiveNetwork = nullptr;
    bool fActiveExists = false;
    TZ5_HardLock_Networks* fNetworks = nullptr;
    std::recursive_mutex fLock;
    std::atomic<bool> fChanged{false};
    std::filesystem::path fFolder;  // where saves go
};
