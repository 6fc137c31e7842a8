// The library's central object: it owns the device objects, the live hardware
// structure, the networks-file controller, the library's locks and the scan
// thread, whose scan (ScanDevices, every 500 ms) finds attached devices, drops
// gone ones, keeps each Radio Master in step with the active network and lets
// every device class refresh its sensor nodes.
//
// Clients copy the structure of the last complete scan, which the scan swaps in
// at its end, so a copy never waits for a scan nor is refused during one. Devices
// that a scan finds gone leave the list and the structure under DeviceListLock
// but are destroyed after the scan has let every lock go: destruction waits for
// the exports still inside the device and for its reader threads, on which
// notification handlers run that may call the listing exports.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tovamod.h"
#include "uFtdiController.h"
#include "uGlobalDev.h"
#include "uZ5NetsFileController.h"

class TTemplateDevices;
class TRTUU;

class TModerator {
public:
    // Line settings of the scan's open.
    static constexpr int32_t kScanBaudRate = 921600;
    static constexpr int32_t kScanFlowControl = 0;

    // Makes the device object of a class, nullptr for a class that is not built
    // (the scan skips its kind).
    using TDeviceFactory = std::function<std::unique_ptr<TTemplateDevices>(TDeviceClass Class)>;
    static std::unique_ptr<TTemplateDevices> CreateDevice(TDeviceClass Class);

    // Builds everything in order (root, networks file, locks, list) and starts
    // the scan thread; the first scan runs 500 ms later. Throws when a part
    // cannot be made; nothing is left behind then. Factory: the device classes
    // (tests put stand-ins here).
    explicit TModerator(TDeviceFactory MakeDevice = CreateDevice);
    // Ends the scan thread, destroys every device in list order, frees the
    // structure. Never throws.
    ~TModerator();
    TModerator(const TModerator&) = delete;
    TModerator& operator=(const TModerator&) = delete;

    // ---- device list (each takes DeviceListLock, so it waits for a running
    // scan). A negative Index throws std::out_of_range.
    int32_t GetDeviceCount();
    // The device's Name (type code); "-1" when Index > count - 1.
    void GetDeviceName(int32_t Index, std::u16string& Name);
    // nullptr when Index > count - 1.
    TTemplateDevices* GetDeviceObject(int32_t Index);
    // -1 when Index > count - 1.
    int32_t GetDeviceMaxSensors(int32_t Index);
    int32_t GetDeviceTyp(int32_t Index);
    // Waits until a running scan has let the device list go (devices it dropped
    // may still be being destroyed).
    void LockDeviceList();
    // The device's OpenDevice when Index <= count - 1.
    void OpenDeviceByIndex(int32_t Index, int32_t BaudRate, int32_t FlowControl);
    // For callers that hold the list across several of the operations above.
    std::recursive_mutex& GetDeviceListLock() { return DeviceListLock; }

    // Under DeviceListLock (waits for a running scan), then pauses (0) or
    // resumes (1) the scan thread.
    void SetIdentificationActive(uint8_t Value);
    uint8_t GetIdentificationActive() const { return IdentificationActive.load(); }

    // ---- hardware structure
    // A deep copy for a client of the structure as the last complete scan left
    // it; does not wait for a running scan. Clears the live Changed.
    THardwareStructure* CopyHardwareStructure();
    // Live Changed := 0 for 1, 1 for 0. No lock.
    void SetHardwareStructureProcessed(uint8_t Processed);
    uint8_t GetRefreshingRecordStructure();
    void SetRefreshingRecordStructure(uint8_t Value);

    // ---- networks file (forwarded to the controller)
    TZ5_HardLock_Networks* GetNetworksCopy();
    void SaveNetworks(const TZ5_HardLock_Networks* Tree);
    void GetDescriptionActiveNet(uint8_t& Exists, std::u16string& Description);

    // The sensor-read lock of tovamod_Sensor_ReadLatestMeasurement.
    std::recursive_mutex& CriticalSectionAccessObjs() { return FCriticalSectionAccessObjs; }

    // The scan; run by the scan thread (tests may call it directly).
    void ScanDevices(TFtdiDeviceController* Sender);

    // The scan thread (tests pause it to scan by hand).
    TFtdiDeviceController& GetScanThread() { return *fFtdiDeviceController; }

    // The live structure; read it only while holding DeviceListLock.
    const THardwareStructure& LiveStructure() const { return *HardwareRoot; }

    // Devices whose dropping a scan has begun (taken out of the list), since
    // construction. For tests that wait for that moment.
    uint32_t GetDropsBegun() const { return DropsBegun.load(); }

private:
    // One device object and what the scan keeps about it.
    struct TDeviceEntry {
        std::unique_ptr<TTemplateDevices> Device;  // nullptr while a scan drops it
        bool NamedRadioMaster = false;             // description holds "Zelto5 Radio Master"
    };
    struct TRootDeleter {
        void operator()(THardwareStructure* Root) const;
    };
    struct TCopyDeleter {
        void operator()(THardwareStructure* Copy) const { FreeHardwareStructureCopy(Copy); }
    };

    // Scan steps, under DeviceListLock.
    void AddNewDevices();
    void AddDevice(const std::string& Serial, const std::string& Description);
    void CheckOwnNetwork(TRTUU& Device, TDeviceStructure& Node);
    void DropDeadDevices();
    void EndMeasurementOf(TTemplateDevices& Dropped);
    void RefreshDevices();
    void RefreshRadioMaster(TDeviceEntry& Entry, TRTUU& Device, TDeviceStructure& Node);
    TDeviceEntry* FindEntry(const void* Device);
    void DestroyDevice(TDeviceEntry& Entry);
    void SetChanged();
    // Swaps a copy of the live structure in for the clients' copies; the scan's
    // changes become the live Changed with it.
    void Publish();
    // Destroys the devices the scans have dropped; called with no lock held.
    void DestroyDropped();
    TTemplateDevices* DeviceAt(int32_t Index);  // caller holds DeviceListLock

    const TDeviceFactory Factory;
    // In construction order; destroyed in reverse.
    std::unique_ptr<THardwareStructure, TRootDeleter> HardwareRoot;
    std::unique_ptr<TZ5NetsFileController> NetsFile;
    std::mutex FCriticalSectionAcessRefreshingRecordStructure;
    uint8_t RefreshingRecordStructure = 0;  // under its lock
    std::atomic<uint8_t> IdentificationActive{1};
    std::recursive_mutex DeviceListLock;
    std::recursive_mutex FCriticalSectionAccessObjs;
    std::vector<TDeviceEntry> DeviceList;  // under DeviceListLock
    // Scan state under DeviceListLock: changes not yet published, devices dropped
    // and not yet destroyed.
    bool PendingChanged = false;
    std::vector<std::unique_ptr<TTemplateDevices>> Dropped;
    std::atomic<uint32_t> DropsBegun{0};
    // What clients copy: the active nodes of the last complete scan.
    std::mutex PublishedLock;
    std::unique_ptr<THardwareStructure, TCopyDeleter> Published;  // under PublishedLock
    std::unique_ptr<TFtdiDeviceController> fFtdiDeviceController;
};
