#include "uGlobalDev.h"

#include <memory>
#include <new>

#include "z5widestring.h"

const TDeviceKindInfo* FindDeviceKind(uint8_t Kind) {
    for (const auto& info : DeviceKinds)
        if (info.Kind == Kind) return &info;
    return nullptr;
}

uint8_t RecognizeDeviceKind(std::string_view Description) {
    for (const auto& rule : DescriptionRules) {
        for (std::string_view text : rule.Contains) {
            if (text.empty() || Description.find(text) == std::string_view::npos) continue;
            if (!rule.Exactly.empty() && Description == rule.Exactly) return rule.ExactKind;
            return rule.Kind;
        }
    }
    return 0;
}

// ---- device nodes ----

namespace {

z5_char16* CopyWide(const z5_char16* text) {
    if (!text) return nullptr;
    z5_char16* copy = z5_wstr_alloc(text, z5_wstr_length(text));
    if (!copy) throw std::bad_alloc();
    return copy;
}

}  // namespace

TDeviceStructure* NewDeviceNode(uint8_t Kind, void* Device, std::string_view SerialNo) {
    auto node = std::make_unique<TDeviceStructure>();
    node->Kind = Kind;
    node->Device = Device;
    node->Active = 1;
    node->SerialNo = z5::WideAlloc(z5::Latin1ToUtf16(SerialNo));
    if (!node->SerialNo) throw std::bad_alloc();
    return node.release();
}

void AppendDeviceNode(THardwareStructure& Root, TDeviceStructure* Node) {
    Node->Next = nullptr;
    Node->Prev = nullptr;
    if (!Root.First) {
        Root.First = Node;
        return;
    }
    TDeviceStructure* tail = Root.First;
    while (tail->Next) tail = tail->Next;
    tail->Next = Node;
    Node->Prev = tail;
}

void UnlinkDeviceNode(THardwareStructure& Root, TDeviceStructure* Node) {
    if (Node->Prev) Node->Prev->Next = Node->Next;
    else if (Root.First == Node) Root.First = Node->Next;
    if (Node->Next) Node->Next->Prev = Node->Prev;
    Node->Next = nullptr;
    Node->Prev = nullptr;
}

void FreeDeviceNode(TDeviceStructure* Node) {
    if (!Node) return;
    FreeSensorNodes(*Node);
    z5_wstr_free(Node->SerialNo);
    delete Node;
}

void FreeDeviceNodes(THardwareStructure& Root) {
    TDeviceStructure* node = Root.First;
    Root.First = nullptr;
    while (node) {
        TDeviceStructure* next = node->Next;
        FreeDeviceNode(node);
        node = next;
    }
}

TDeviceStructure* FindDeviceNode(const THardwareStructure& Root, std::string_view SerialNo) {
    const std::u16string wanted = z5::Latin1ToUtf16(SerialNo);
    for (TDeviceStructure* node = Root.First; node; node = node->Next)
        if (node->SerialNo && z5::WideView(node->SerialNo) == wanted) return node;
    return nullptr;
}

// ---- sensor nodes ----

TSensorStructure* NewSensorNode(uint8_t Kind, void* Sensor) {
    auto* node = new TSensorStructure();
    node->Kind = Kind;
    node->Sensor = Sensor;
    node->Identity = -1;
    return node;
}

void AppendSensorNode(TDeviceStructure& Device, TSensorStructure* Node) {
    Node->Next = nullptr;
    Node->Prev = nullptr;
    if (!Device.Sensors) {
        Device.Sensors = Node;
        return;
    }
    TSensorStructure* tail = Device.Sensors;
    while (tail->Next) tail = tail->Next;
    tail->Next = Node;
    Node->Prev = tail;
}

void UnlinkSensorNode(TDeviceStructure& Device, TSensorStructure* Node) {
    if (Node->Prev) Node->Prev->Next = Node->Next;
    else if (Device.Sensors == Node) Device.Sensors = Node->Next;
    if (Node->Next) Node->Next->Prev = Node->Prev;
    Node->Next = nullptr;
    Node->Prev = nullptr;
}

void FreeSensorNode(TSensorStructure* Node) { delete Node; }

void FreeSensorNodes(TDeviceStructure& Device) {
    TSensorStructure* node = Device.Sensors;
    Device.Sensors = nullptr;
    while (node) {
        TSensorStructure* next = node->Next;
        delete node;
        node = next;
    }
}

// ---- copies ----

namespace {

struct CopyDeleter {
    void operator()(THardwareStructure* root) const { FreeHardwareStructureCopy(root); }
};

// Copies Live's sensor nodes, in order, under Copy (whose Sensors is nullptr).
void CopySensorNodes(const TDeviceStructure& Live, TDeviceStructure& Copy) {
    TSensorStructure* tail = nullptr;
    for (const TSensorStructure* live = Live.Sensors; live; live = live->Next) {
        auto* node = new TSensorStructure();
        node->Kind = live->Kind;
        node->Sensor = live->Sensor;
        node->Identity = live->Identity;
        node->Value1 = live->Value1;
        node->Value2 = live->Value2;
        node->Value3 = live->Value3;
        node->Address = live->Address;
        node->ChannelCount = live->ChannelCount;
        node->Prev = tail;
        if (tail) tail->Next = node;
        else Copy.Sensors = node;
        tail = node;
    }
}

}  // namespace

THardwareStructure* DeepCopyHardwareStructure(const THardwareStructure& Live) {
    std::unique_ptr<THardwareStructure, CopyDeleter> copy(new THardwareStructure());
    copy->Changed = Live.Changed;
    copy->RadioMasterPresent = Live.RadioMasterPresent;
    copy->ScanTime = Live.ScanTime;

    bool starterPortExists = false;
    for (const TDeviceStructure* live = Live.First; live; live = live->Next)
        if (live->Kind == TOVAMOD_KIND_STARTER_PORT) starterPortExists = true;

    bool starterPortCopied = false;
    TDeviceStructure* tail = nullptr;
    for (const TDeviceStructure* live = Live.First; live; live = live->Next) {
        if (!live->Active) continue;
        if (starterPortExists && live->Kind == TOVAMOD_KIND_STARTER_PORT) {
            if (starterPortCopied) continue;
            starterPortCopied = true;
        }
        auto* node = new TDeviceStructure();
        // Linked first, so that a failure below frees it with the rest of the copy.
        node->Prev = tail;
        if (tail) tail->Next = node;
        else copy->First = node;
        tail = node;
        node->Kind = live->Kind;
        node->Device = live->Device;
        node->Active = 1;
        node->SerialNo = CopyWide(live->SerialNo);
        CopySensorNodes(*live, *node);
    }
    return copy.release();
}

void FreeHardwareStructureCopy(THardwareStructure* Copy) {
    if (!Copy) return;
    FreeDeviceNodes(*Copy);
    delete Copy;
}
