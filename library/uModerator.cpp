#include "uModerator.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "uD2XX.h"
#include "uDDS.h"
#include "uDLU.h"
#include "uDUU.h"
#include "uGlobalDev.h"
#include "uHandleRegistry.h"
#include "uRTUU.h"
#include "uSpeedofLight.h"
#include "uTemplateDevices.h"
#include "uTimer62.h"
#include "uUniversalCounter.h"
#include "uXray.h"
#include "z5clock.h"

namespace {

constexpr const char* kNoSerial = "NONE";
constexpr std::string_view kRadioMasterName = "Zelto5 Radio Master";
constexpr int32_t kChannelParam = 6;
constexpr int32_t kNoChannel = -1;

bool IsBaseKind(uint8_t Kind) {
    return Kind == TOVAMOD_KIND_RADIO_MASTER || Kind == TOVAMOD_KIND_DESK_PORT || Kind == TOVAMOD_KIND_STARTER_PORT;
}

bool MACUnknown(const std::string& MAC) { return MAC.empty() || MAC == kNoMAC; }

struct TNodeDeleter {
    void operator()(TDeviceStructure* Node) const { FreeDeviceNode(Node); }
};

// The live Changed byte is also written without DeviceListLock (by
// SetHardwareStructureProcessed), so every access is atomic.
std::atomic_ref<uint8_t> Changed(THardwareStructure& Root) { return std::atomic_ref<uint8_t>(Root.Changed); }

}  // namespace

std::unique_ptr<TTemplateDevices> TModerator::CreateDevice(TDeviceClass Class) {
    switch (Class) {
        case TDeviceClass::RTUU:
            return std::make_unique<TRTUU>();
        case TDeviceClass::DUU:
            return std::make_unique<TDUU>();
        case TDeviceClass::DLU:
            return std::make_unique<TDLU>();
        case TDeviceClass::Timer62:
            return std::make_unique<TTimer62>();
        case TDeviceClass::UNIZ:
            return std::make_unique<TUNIZ>();
        case TDeviceClass::LIGHTSPEED:
            return std::make_unique<TLIGHTSPEED>();
        case TDeviceClass::DDS:
            return std::make_unique<TDDS>();
        case TDeviceClass::XRAY:
            return std::make_unique<TXRAY>();
        default:
            return nullptr;
    }
}

void TModerator::TRootDeleter::operator()(THardwareStructure* Root) const {
    if (!Root) return;
    FreeDeviceNodes(*Root);
    delete Root;
}

// ---- life cycle ----

TModerator::TModerator(TDeviceFactory MakeDevice)
    : Factory(MakeDevice ? std::move(MakeDevice) : TDeviceFactory(CreateDevice)),
      HardwareRoot(new THardwareStructure()),
      Published(new THardwareStructure()) {
    NetsFile = std::make_unique<TZ5NetsFileController>();
    NetsFile->InitNetworksFile();
    SensorCountSum = 0;
    fFtdiDeviceController = std::make_unique<TFtdiDeviceController>();
    fFtdiDeviceController->SetScanEvent([this](TFtdiDeviceController* Sender) { ScanDevices(Sender); });
    fFtdiDeviceController->Resume();
}

TModerator::~TModerator() {
    try {
        fFtdiDeviceController->WaitFor();
    } catch (...) {
    }
    DestroyDropped();
    std::lock_guard lock(DeviceListLock);
    for (TDeviceEntry& entry : DeviceList) DestroyDevice(entry);
    DeviceList.clear();
    FreeDeviceNodes(*HardwareRoot);
}

// ---- device list ----

TTemplateDevices* TModerator::DeviceAt(int32_t Index) {
    // A negative index fails the access itself.
    return DeviceList.at(static_cast<size_t>(Index)).Device.get();
}

int32_t TModerator::GetDeviceCount() {
    std::lock_guard lock(DeviceListLock);
    return static_cast<int32_t>(DeviceList.size());
}

void TModerator::GetDeviceName(int32_t Index, std::u16string& Name) {
    std::lock_guard lock(DeviceListLock);
    TTemplateDevices* device = Index > static_cast<int32_t>(DeviceList.size()) - 1 ? nullptr : DeviceAt(Index);
    if (device) device->GetName(Name);
    else Name = u"-1";
}

TTemplateDevices* TModerator::GetDeviceObject(int32_t Index) {
    std::lock_guard lock(DeviceListLock);
    if (Index > static_cast<int32_t>(DeviceList.size()) - 1) return nullptr;
    return DeviceAt(Index);
}

int32_t TModerator::GetDeviceMaxSensors(int32_t Index) {
    std::lock_guard lock(DeviceListLock);
    TTemplateDevices* device = Index > static_cast<int32_t>(DeviceList.size()) - 1 ? nullptr : DeviceAt(Index);
    return device ? device->GetMaxSensors() : -1;
}

int32_t TModerator::GetDeviceTyp(int32_t Index) {
    std::lock_guard lock(DeviceListLock);
    TTemplateDevices* device = Index > static_cast<int32_t>(DeviceList.size()) - 1 ? nullptr : DeviceAt(Index);
    return device ? device->GetTyp() : -1;
}

void TModerator::LockDeviceList() { std::lock_guard lock(DeviceListLock); }

void TModerator::OpenDeviceByIndex(int32_t Index, int32_t BaudRate, int32_t FlowControl) {
    std::lock_guard lock(DeviceListLock);
    if (Index > static_cast<int32_t>(DeviceList.size()) - 1) return;
    if (TTemplateDevices* device = DeviceAt(Index)) device->OpenDevice(BaudRate, FlowControl);
}

void TModerator::SetIdentificationActive(uint8_t Value) {
    {
        std::lock_guard lock(DeviceListLock);
        IdentificationActive.store(Value);
    }
    fFtdiDeviceController->SetPaused(Value == 0);
}

// ---- hardware structure ----

THardwareStructure* TModerator::CopyHardwareStructure() {
    std::lock_guard lock(PublishedLock);
    // Changed is the live one (written without a lock by
    // SetHardwareStructureProcessed), the rest is the published structure's.
    THardwareStructure root{};
    root.First = Published->First;
    root.RadioMasterPresent = Published->RadioMasterPresent;
    root.ScanTime = Published->ScanTime;
    root.Changed = Changed(*HardwareRoot).exchange(0);
    try {
        return DeepCopyHardwareStructure(root);
    } catch (...) {
        if (root.Changed) Changed(*HardwareRoot).store(1);
        throw;
    }
}

void TModerator::SetHardwareStructureProcessed(uint8_t Processed) {
    if (Processed == 1) Changed(*HardwareRoot).store(0);
    else if (Processed == 0) Changed(*HardwareRoot).store(1);
}

uint8_t TModerator::GetRefreshingRecordStructure() {
    std::lock_guard lock(FCriticalSectionAcessRefreshingRecordStructure);
    return RefreshingRecordStructure;
}

void TModerator::SetRefreshingRecordStructure(uint8_t Value) {
    std::lock_guard lock(FCriticalSectionAcessRefreshingRecordStructure);
    RefreshingRecordStructure = Value;
}

// Becomes the live Changed when the scan publishes, so that the copy that first
// shows a change is the one that reports it.
void TModerator::SetChanged() { PendingChanged = true; }

void TModerator::Publish() {
    THardwareStructure live{};
    live.First = HardwareRoot->First;
    live.RadioMasterPresent = HardwareRoot->RadioMasterPresent;
    live.ScanTime = HardwareRoot->ScanTime;
    std::unique_ptr<THardwareStructure, TCopyDeleter> next(DeepCopyHardwareStructure(live));
    {
        std::lock_guard lock(PublishedLock);
        Published.swap(next);
        if (PendingChanged) Changed(*HardwareRoot).store(1);
    }
    PendingChanged = false;
}

// ---- networks file ----

TZ5_HardLock_Networks* TModerator::GetNetworksCopy() { return NetsFile ? NetsFile->GetNetworksCopy() : nullptr; }

void TModerator::SaveNetworks(const TZ5_HardLock_Networks* Tree) {
    if (NetsFile) NetsFile->SaveNetworks(Tree);
}

void TModerator::GetDescriptionActiveNet(uint8_t& Exists, std::u16string& Description) {
    if (NetsFile) NetsFile->GetDescriptionActiveNet(Exists, Description);
}

// ---- the scan ----

void TModerator::ScanDevices(TFtdiDeviceController*) {
    if (!IdentificationActive.load()) return;
    SetRefreshingRecordStructure(1);
    {
        std::lock_guard lock(DeviceListLock);
        // Identification may have been switched off while this scan waited for the
        // lock (a firmware update starts then): no scan.
        if (!IdentificationActive.load()) {
            SetRefreshingRecordStructure(0);
            return;
        }
        const uint32_t start = z5::Tick();
        HardwareRoot->ScanTime = start;
        try {
            HardwareRoot->RadioMasterPresent = 0;
            std::this_thread::yield();
            AddNewDevices();
            DropDeadDevices();
            RefreshDevices();
        } catch (...) {
            // Only this scan ends; the next one starts afresh.
        }
        std::erase_if(DeviceList, [](const TDeviceEntry& e) { return !e.Device; });
        HardwareRoot->ScanTime = z5::Tick() - start;
        try {
            Publish();
        } catch (...) {
            // The clients keep the last structure; the changes go out with the next scan.
        }
        SetRefreshingRecordStructure(0);
    }
    DestroyDropped();
}

void TModerator::AddNewDevices() {
    uint32_t count = 0;
    {
        D2XXGuard d2xx;
        if (GetFTDeviceCount() == d2xx::kOk) count = FTDeviceCount;
    }
    for (uint32_t i = 0; i < count; ++i) {
        std::string serial = kNoSerial;
        {
            D2XXGuard d2xx;
            if (GetFTDeviceSerialNo(i) == d2xx::kOk) serial = FTListText;
            else GetFTDeviceSerialNo(i);  // asked once more; the entry waits for the next scan all the same
        }
        if (serial == kNoSerial || serial.empty()) continue;
        if (FindDeviceNode(*HardwareRoot, serial)) continue;
        std::string description;
        {
            D2XXGuard d2xx;
            if (GetFTDeviceDescription(i) != d2xx::kOk) continue;
            description = FTListText;
        }
        AddDevice(serial, description);
    }
}

void TModerator::AddDevice(const std::string& Serial, const std::string& Description) {
    const uint8_t kind = RecognizeDeviceKind(Description);
    const TDeviceKindInfo* info = FindDeviceKind(kind);
    if (!info) return;
    std::unique_ptr<TTemplateDevices> device = Factory(info->Class);
    if (!device) return;
    TRTUU* radioMaster = kind == TOVAMOD_KIND_RADIO_MASTER ? dynamic_cast<TRTUU*>(device.get()) : nullptr;
    if (radioMaster) {
        TZ5NetsFileController* nets = NetsFile.get();
        radioMaster->SetOnSensorAllowed([nets](const std::string& SensorMAC, const std::string& OwnMAC) {
            return nets->IsSensorOfHardware(SensorMAC, OwnMAC);
        });
    }
    device->SetSerialNo(Serial);
    device->OpenDevice(kScanBaudRate, kScanFlowControl);

    std::unique_ptr<TDeviceStructure, TNodeDeleter> node(NewDeviceNode(kind, device.get(), Serial));
    if (radioMaster) radioMaster->SetNetworkLock(true);
    if (IsBaseKind(kind)) HardwareRoot->RadioMasterPresent = 1;
    const bool named = Description.find(kRadioMasterName) != std::string::npos;
    if (radioMaster && named) CheckOwnNetwork(*radioMaster, *node);

    // Commit: nothing below fails once the list has room and the handle is known.
    DeviceList.reserve(DeviceList.size() + 1);
    RegisterDevice(device.get());
    DeviceList.push_back(TDeviceEntry{std::move(device), named});
    AppendDeviceNode(*HardwareRoot, node.release());
    SetChanged();
}

// The Radio Master's own MAC against the active network, at creation.
void TModerator::CheckOwnNetwork(TRTUU& Device, TDeviceStructure& Node) {
    const std::string mac = Device.GetMACExtAddr(0, false);
    Device.SetOwnMAC(mac);
    int32_t channel = kNoChannel;
    if (NetsFile->IsMACInActiveNet(mac, channel)) {
        const int64_t current = Device.GetRTUUParam(kChannelParam);
        if (current != channel && channel != kNoChannel) Device.SetRTUUParam(kChannelParam, 1, channel);
        Device.SetNetworkLock(true);
    } else {
        Device.SetNetworkLock(false);
        Node.Active = 0;
    }
}

void TModerator::DropDeadDevices() {
    for (TDeviceStructure* node = HardwareRoot->First; node;) {
        TDeviceStructure* next = node->Next;
        TDeviceEntry* entry = FindEntry(node->Device);
        const d2xx::Handle handle = entry ? entry->Device->GetHandle() : nullptr;
        bool alive;
        {
            D2XXGuard d2xx;
            CurrentHandle = handle;
            alive = GetFTModemStatus() == d2xx::kOk;
        }
        if (IsBaseKind(node->Kind)) HardwareRoot->RadioMasterPresent = 1;
        if (!alive) {
            if (entry) {
                // Out of the list now, destroyed once the scan has let its locks go.
                Dropped.reserve(Dropped.size() + 1);
                std::unique_ptr<TTemplateDevices> device = std::move(entry->Device);
                DropsBegun.fetch_add(1);
                EndMeasurementOf(*device);
                Dropped.push_back(std::move(device));
            }
            SetChanged();
            FreeSensorNodes(*node);
            UnlinkDeviceNode(*HardwareRoot, node);
            FreeDeviceNode(node);
        }
        node = next;
    }
}

void TModerator::RefreshDevices() {
    // Built aside and published once: the stream parser reads the sum meanwhile.
    int32_t sum = 0;
    for (TDeviceStructure* node = HardwareRoot->First; node; node = node->Next) {
        TDeviceEntry* entry = FindEntry(node->Device);
        if (!entry) continue;
        TTemplateDevices& device = *entry->Device;
        bool changed = false;
        switch (node->Kind) {
            case TOVAMOD_KIND_RADIO_MASTER:
                if (auto* radioMaster = dynamic_cast<TRTUU*>(&device))
                    RefreshRadioMaster(*entry, *radioMaster, *node);
                sum += std::max(0, device.GetSensorCount());
                changed = device.RefreshSensors(node);
                break;
            case TOVAMOD_KIND_DESK_PORT:
            case TOVAMOD_KIND_STARTER_PORT:
                changed = device.RefreshSensors(node);
                sum += std::max(0, device.GetSensorCount());
                break;
            default:
                changed = device.RefreshSensors(node);
                break;
        }
        if (changed) SetChanged();
    }
    SensorCountSum = sum;
}

void TModerator::RefreshRadioMaster(TDeviceEntry& Entry, TRTUU& Device, TDeviceStructure& Node) {
    int32_t channel = kNoChannel;
    bool inNet = NetsFile->IsMACInActiveNet(Device.GetOwnMAC(), channel);
    // A Radio Master whose MAC could not be read at creation would stay outside
    // an active network for good: read it again while it is unknown.
    if (!inNet && Entry.NamedRadioMaster && MACUnknown(Device.GetOwnMAC())) {
        const std::string mac = Device.GetMACExtAddr(0, false);
        if (!MACUnknown(mac)) {
            Device.SetOwnMAC(mac);
            channel = kNoChannel;
            inNet = NetsFile->IsMACInActiveNet(mac, channel);
        }
    }
    if (!inNet && Node.Active) {
        Node.Active = 0;
        Device.SetNetworkLock(false);
        SetChanged();
    } else if (inNet && !Node.Active) {
        Node.Active = 1;
        Device.SetNetworkLock(true);
        if (channel != kNoChannel) Device.SetRTUUParam(kChannelParam, 1, channel);
        SetChanged();
    }
}

// A stream that the dropped device was running ends with it: MeasureMode is
// cleared unless another device's start still holds it.
void TModerator::EndMeasurementOf(TTemplateDevices& Device) {
    auto* dropped = dynamic_cast<TRTUU*>(&Device);
    if (!dropped || !dropped->GetMeasureStarted()) return;
    for (const TDeviceEntry& entry : DeviceList) {
        auto* other = dynamic_cast<TRTUU*>(entry.Device.get());
        if (other && other->GetMeasureStarted()) return;
    }
    MeasureMode.store(false);
}

void TModerator::DestroyDropped() {
    std::vector<std::unique_ptr<TTemplateDevices>> dropped;
    {
        std::lock_guard lock(DeviceListLock);
        dropped.swap(Dropped);
    }
    for (auto& device : dropped) {
        TDeviceEntry entry{std::move(device), false};
        DestroyDevice(entry);
    }
}

TModerator::TDeviceEntry* TModerator::FindEntry(const void* Device) {
    for (TDeviceEntry& entry : DeviceList)
        if (entry.Device && entry.Device.get() == Device) return &entry;
    return nullptr;
}

// No export may still be inside the object when it goes: the registry waits.
void TModerator::DestroyDevice(TDeviceEntry& Entry) {
    if (!Entry.Device) return;
    UnregisterDevice(Entry.Device.get());
    Entry.Device.reset();
}
