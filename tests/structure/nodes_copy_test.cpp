// Node lists of the live structure and the deep copy handed to clients.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "uGlobalDev.h"
#include "z5widestring.h"

namespace {

// Fake objects: only their addresses are used.
char gObjects[16];
void* Obj(int i) { return &gObjects[i]; }

std::u16string Serial(const TDeviceStructure* node) { return z5::WideView(node->SerialNo); }

// Device nodes in list order, after checking Next and Prev both ways.
std::vector<TDeviceStructure*> Devices(const THardwareStructure& root) {
    std::vector<TDeviceStructure*> out;
    TDeviceStructure* prev = nullptr;
    for (TDeviceStructure* n = root.First; n; n = n->Next) {
        EXPECT_EQ(n->Prev, prev);
        out.push_back(n);
        prev = n;
    }
    return out;
}

std::vector<TSensorStructure*> Sensors(const TDeviceStructure& dev) {
    std::vector<TSensorStructure*> out;
    TSensorStructure* prev = nullptr;
    for (TSensorStructure* n = dev.Sensors; n; n = n->Next) {
        EXPECT_EQ(n->Prev, prev);
        out.push_back(n);
        prev = n;
    }
    return out;
}

TSensorStructure* AddSensor(TDeviceStructure& dev, uint8_t kind, int obj, int32_t base) {
    TSensorStructure* s = NewSensorNode(kind, Obj(obj));
    s->Identity = base;
    s->Value1 = base + 1;
    s->Value2 = base + 2;
    s->Value3 = base + 3;
    s->Address = base + 4;
    s->ChannelCount = base + 5;
    AppendSensorNode(dev, s);
    return s;
}

struct LiveStructure : ::testing::Test {
    THardwareStructure root{};
    TDeviceStructure* Add(uint8_t kind, int obj, const char* serial, uint8_t active = 1) {
        TDeviceStructure* n = NewDeviceNode(kind, Obj(obj), serial);
        n->Active = active;
        AppendDeviceNode(root, n);
        return n;
    }
    void TearDown() override { FreeDeviceNodes(root); }
};

}  // namespace

TEST_F(LiveStructure, NewNodesStartUnlinked) {
    TDeviceStructure* d = Add(TOVAMOD_KIND_DESK_PORT, 1, "DP1");
    EXPECT_EQ(d->Kind, TOVAMOD_KIND_DESK_PORT);
    EXPECT_EQ(d->Device, Obj(1));
    EXPECT_EQ(d->Active, 1);
    EXPECT_EQ(Serial(d), u"DP1");
    EXPECT_EQ(d->Sensors, nullptr);
    TSensorStructure* s = NewSensorNode(1, Obj(2));
    EXPECT_EQ(s->Kind, 1);
    EXPECT_EQ(s->Sensor, Obj(2));
    EXPECT_EQ(s->Identity, -1);
    EXPECT_EQ(s->Value1 | s->Value2 | s->Value3 | s->Address | s->ChannelCount, 0);
    EXPECT_EQ(s->Next, nullptr);
    FreeSensorNode(s);
}

TEST_F(LiveStructure, DeviceNodesAppendAtTailAndUnlinkAnywhere) {
    // Which node to unlink from a list of four, and the order left behind.
    struct Case { int remove; std::vector<int> left; };
    for (const Case& c : std::vector<Case>{{0, {1, 2, 3}}, {1, {0, 2, 3}}, {3, {0, 1, 2}}}) {
        SCOPED_TRACE(c.remove);
        std::vector<TDeviceStructure*> nodes;
        for (int i = 0; i < 4; ++i) nodes.push_back(Add(TOVAMOD_KIND_TIMER62, i, ("S" + std::to_string(i)).c_str()));
        EXPECT_EQ(Devices(root), nodes);
        UnlinkDeviceNode(root, nodes[c.remove]);
        EXPECT_EQ(nodes[c.remove]->Next, nullptr);
        EXPECT_EQ(nodes[c.remove]->Prev, nullptr);
        FreeDeviceNode(nodes[c.remove]);
        std::vector<TDeviceStructure*> expected;
        for (int i : c.left) expected.push_back(nodes[i]);
        EXPECT_EQ(Devices(root), expected);
        FreeDeviceNodes(root);
        EXPECT_EQ(root.First, nullptr);
    }
    TDeviceStructure* only = Add(TOVAMOD_KIND_XRAY, 0, "X");
    UnlinkDeviceNode(root, only);
    EXPECT_EQ(root.First, nullptr);
    FreeDeviceNode(only);
}

TEST_F(LiveStructure, SensorNodesAppendAtTailAndUnlinkAnywhere) {
    TDeviceStructure* d = Add(TOVAMOD_KIND_RADIO_MASTER, 0, "RM");
    std::vector<TSensorStructure*> s;
    for (int i = 0; i < 3; ++i) s.push_back(AddSensor(*d, 0, i + 1, 10 * i));
    EXPECT_EQ(Sensors(*d), s);
    UnlinkSensorNode(*d, s[0]);  // head: Sensors follows
    FreeSensorNode(s[0]);
    EXPECT_EQ(Sensors(*d), (std::vector<TSensorStructure*>{s[1], s[2]}));
    UnlinkSensorNode(*d, s[2]);  // tail
    FreeSensorNode(s[2]);
    EXPECT_EQ(Sensors(*d), (std::vector<TSensorStructure*>{s[1]}));
    UnlinkSensorNode(*d, s[1]);
    FreeSensorNode(s[1]);
    EXPECT_EQ(d->Sensors, nullptr);
    AddSensor(*d, 0, 4, 0);
    AddSensor(*d, 0, 5, 0);  // freed with the device node (ASan: no leak)
}

TEST_F(LiveStructure, FindDeviceNodeBySerial) {
    TDeviceStructure* a = Add(TOVAMOD_KIND_RADIO_MASTER, 0, "FT12AB");
    TDeviceStructure* b = Add(TOVAMOD_KIND_DESK_PORT, 1, "FT12ABC");
    EXPECT_EQ(FindDeviceNode(root, "FT12AB"), a);
    EXPECT_EQ(FindDeviceNode(root, "FT12ABC"), b);
    EXPECT_EQ(FindDeviceNode(root, "ft12ab"), nullptr);
    EXPECT_EQ(FindDeviceNode(root, ""), nullptr);
}

TEST_F(LiveStructure, CopyKeepsActiveNodesAndFirstStarterPortOnly) {
    root.Changed = 1;
    root.RadioMasterPresent = 1;
    root.ScanTime = 1234;
    TDeviceStructure* rm = Add(TOVAMOD_KIND_RADIO_MASTER, 0, "RM1");
    AddSensor(*rm, 1, 10, 100);
    AddSensor(*rm, 0, 11, 200);
    AddSensor(*rm, 0, 12, 300);
    Add(TOVAMOD_KIND_STARTER_PORT, 1, "ST1");
    Add(TOVAMOD_KIND_DESK_PORT, 2, "DP1");
    Add(TOVAMOD_KIND_RADIO_MASTER, 3, "RM2", /*active=*/0);
    Add(TOVAMOD_KIND_STARTER_PORT, 4, "ST2");
    Add(TOVAMOD_KIND_DESK_PORT, 5, "DP2");

    THardwareStructure* copy = DeepCopyHardwareStructure(root);
    // Nothing of the copy may point into the live structure: free it first.
    FreeDeviceNodes(root);

    EXPECT_EQ(copy->Changed, 1);
    EXPECT_EQ(copy->RadioMasterPresent, 1);
    EXPECT_EQ(copy->ScanTime, 1234u);
    std::vector<TDeviceStructure*> d = Devices(*copy);
    ASSERT_EQ(d.size(), 4u);
    const struct { uint8_t kind; int obj; const char16_t* serial; } expected[] = {
        {TOVAMOD_KIND_RADIO_MASTER, 0, u"RM1"},
        {TOVAMOD_KIND_STARTER_PORT, 1, u"ST1"},
        {TOVAMOD_KIND_DESK_PORT, 2, u"DP1"},
        {TOVAMOD_KIND_DESK_PORT, 5, u"DP2"},
    };
    for (size_t i = 0; i < d.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(d[i]->Kind, expected[i].kind);
        EXPECT_EQ(d[i]->Device, Obj(expected[i].obj));
        EXPECT_EQ(d[i]->Active, 1);
        EXPECT_EQ(Serial(d[i]), expected[i].serial);
        EXPECT_EQ(z5_wstr_length(d[i]->SerialNo), std::u16string(expected[i].serial).size());
    }
    std::vector<TSensorStructure*> s = Sensors(*d[0]);
    ASSERT_EQ(s.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const int32_t base = 100 * (i + 1);
        EXPECT_EQ(s[i]->Kind, i == 0 ? 1 : 0);
        EXPECT_EQ(s[i]->Sensor, Obj(10 + i));
        EXPECT_EQ(s[i]->Identity, base);
        EXPECT_EQ(s[i]->Value1, base + 1);
        EXPECT_EQ(s[i]->Value2, base + 2);
        EXPECT_EQ(s[i]->Value3, base + 3);
        EXPECT_EQ(s[i]->Address, base + 4);
        EXPECT_EQ(s[i]->ChannelCount, base + 5);
    }
    for (size_t i = 1; i < d.size(); ++i) EXPECT_EQ(d[i]->Sensors, nullptr);
    FreeHardwareStructureCopy(copy);
}

TEST_F(LiveStructure, CopyOfEmptyStructureIsBareRoot) {
    root.ScanTime = 7;
    THardwareStructure* copy = DeepCopyHardwareStructure(root);
    EXPECT_EQ(copy->First, nullptr);
    EXPECT_EQ(copy->Changed, 0);
    EXPECT_EQ(copy->ScanTime, 7u);
    FreeHardwareStructureCopy(copy);
    FreeHardwareStructureCopy(nullptr);
}

TEST_F(LiveStructure, CopyWithOnlyInactiveNodesHasNoDevices) {
    Add(TOVAMOD_KIND_RADIO_MASTER, 0, "RM1", 0);
    THardwareStructure* copy = DeepCopyHardwareStructure(root);
    EXPECT_EQ(copy->First, nullptr);
    FreeHardwareStructureCopy(copy);
}
