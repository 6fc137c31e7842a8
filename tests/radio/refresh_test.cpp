// RefreshSensors of the radio base against the simulated Radio Master, called with
// the device's node as the scan calls it: admission and ejection, sensor nodes and
// their values, identities and channel counts, removal, and what failures keep.
#include <future>

#include "radio_support.h"
#include "uHandleRegistry.h"
#include "z5sim_message.h"

using namespace radio_test;

namespace {

// A hook that leaves unanswered the frames for which Drop is true.
void DropWhere(z5sim::RadioMaster& rm, std::function<bool(const z5sim::Message&)> drop) {
    rm.SetHook([drop = std::move(drop)](z5sim::Device&, const z5sim::Message& m, std::vector<Bytes>& replies) {
        if (!m.IsFrame() || !drop(m)) return false;
        replies.clear();
        return true;
    });
}

// A single parameter read (not the block read) of id at address.
bool IsParamRead(const z5sim::Message& m, uint16_t address, uint8_t id) {
    const Bytes p = m.Payload();
    return m.Cmd() == kReadParam && p.size() == 3 && m.Address() == address && p[2] == id;
}

class UnitRefresh : public RadioBase {};

TEST_F(UnitRefresh, WithTheNetworkLockOffEveryNewUnitIsEjected) {
    rm->SetParam(4, 3);  // the own unit sits at 3
    rm->Join(Own(3, kOwnMAC, 1, 2));
    rm->Join(Remote({5, 0x55}));
    dev->SetOnSensorAllowed([this](const std::string&, const std::string&) { return ++admissionChecks, true; });
    Sent();

    EXPECT_FALSE(Refresh());
    EXPECT_EQ(ParamWrites(Sent()), (std::vector<Write>{{3, 6, 99}, {5, 25, 99}}));
    EXPECT_EQ(admissionChecks, 0);  // the lock is tested first
    EXPECT_EQ(node->Sensors, nullptr);
    EXPECT_EQ(dev->GetSensorCount(), 0);
    EXPECT_TRUE(rm->NodeList().empty());  // both left the network
}

TEST_F(UnitRefresh, AdmittedUnitsBecomeSensorsWithTheirNodeValues) {
    rm->Join(Own(1, kOwnMAC, 0x47, 0x0801));
    rm->Join(Remote({5, 0x55, 7, 0x0B, 16, 23, 2100}));
    Allow({kOwnMAC, 0x55});

    EXPECT_TRUE(Refresh());
    EXPECT_EQ(UnitNodes(node), (std::vector<UnitNode>{{1, 1, -1, 0x47, 0, 0x0801, 0}, {0, 5, 7, 23, 2100, 16, 3}}));
    ASSERT_EQ(dev->GetSensorCount(), 2);
    auto* own = dynamic_cast<TSensorsRCU*>(dev->GetSensor(0));
    auto* remote = dynamic_cast<TSensorsRTCU*>(dev->GetSensor(1));
    ASSERT_TRUE(own && remote);
    EXPECT_EQ(dev->GetSensor(2), nullptr);
    EXPECT_EQ(dev->FindSensorByAddress(1), own);
    EXPECT_EQ(dev->FindSensorByAddress(5), remote);
    EXPECT_EQ(dev->FindSensorByAddress(6), nullptr);
    EXPECT_EQ(SensorAt(5), remote);
    EXPECT_EQ(own->GetKind(), 1);
    EXPECT_EQ(remote->GetKind(), 0);
    EXPECT_EQ(own->GetMACText(), u"1000000000000001");
    EXPECT_EQ(remote->GetMACText(), u"0000000000000055");
    EXPECT_EQ(remote->GetOwner(), dev.get());
    EXPECT_EQ(remote->GetIdentity(), 7);
    EXPECT_EQ(remote->GetChannelCount(), 3);
    EXPECT_TRUE(ParamWrites(Sent()).empty());

    // Nothing new: no change, nothing written.
    EXPECT_FALSE(Refresh());
    EXPECT_EQ(dev->GetSensorCount(), 2);
    EXPECT_TRUE(ParamWrites(Sent()).empty());
}

TEST_F(UnitRefresh, UnitsThatLeaveGoAndNewOnesTakeAFreeSlot) {
    for (uint16_t a : {5, 6, 7}) rm->Join(Remote({a, a}));
    Allow({5, 6, 7, 8});
    EXPECT_TRUE(Refresh());
    TTemplateSensors* six = dev->FindSensorByAddress(6);
    TTemplateSensors* seven = dev->FindSensorByAddress(7);

    rm->Leave(5);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{6, 7}));
    EXPECT_EQ(dev->FindSensorByAddress(5), nullptr);
    EXPECT_EQ(dev->GetSensorCount(), 2);

    // The newcomer must not take the slot of 7, whose samples would then be lost.
    rm->Join(Remote({8, 8}));
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{6, 7, 8}));
    EXPECT_EQ(dev->FindSensorByAddress(6), six);
    EXPECT_EQ(dev->FindSensorByAddress(7), seven);
    EXPECT_NE(dev->FindSensorByAddress(8), nullptr);
    EXPECT_EQ(dev->GetSensor(2), dev->FindSensorByAddress(8));
}

TEST_F(UnitRefresh, KnownUnitsRefusedLaterAreEjectedAndRemovedInTheSameRefresh) {
    rm->Join(Own(1, kOwnMAC, 1, 2));
    for (uint16_t a : {5, 6}) rm->Join(Remote({a, a}));
    Allow({kOwnMAC, 5, 6});
    EXPECT_TRUE(Refresh());
    Sent();

    Allow({6});
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(ParamWrites(Sent()), (std::vector<Write>{{1, 6, 99}, {5, 25, 99}}));
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{6}));
    EXPECT_EQ(dev->GetSensorCount(), 1);
    EXPECT_EQ(rm->NodeList(), (std::vector<uint16_t>{6}));

    // With the lock off, known units go too, without asking the check.
    const int checks = admissionChecks;
    dev->SetNetworkLock(false);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(ParamWrites(Sent()), (std::vector<Write>{{6, 25, 99}}));
    EXPECT_EQ(admissionChecks, checks);
    EXPECT_EQ(node->Sensors, nullptr);
}

TEST_F(UnitRefresh, WithoutAnAdmissionCheckNothingIsAllowed) {
    rm->Join(Remote({5, 0x55}));
    dev->SetNetworkLock(true);
    EXPECT_FALSE(Refresh());
    EXPECT_EQ(ParamWrites(Sent()), (std::vector<Write>{{5, 25, 99}}));
    EXPECT_EQ(dev->GetSensorCount(), 0);
}

TEST_F(UnitRefresh, AnEntryOf99OrMoreEndsTheNewUnits) {
    rm->SetNodeList({5, 99, 6});
    rm->SetUnit(Remote({5, 5}));
    rm->SetUnit(Remote({6, 6}));
    Allow({5, 6});
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{5}));
    EXPECT_TRUE(ParamWrites(Sent()).empty());
}

TEST_F(UnitRefresh, ANewIdentityRereadsTheChannelCount) {
    rm->Join(Remote({5, 5, 7, 0x03}));
    Allow({5});
    EXPECT_TRUE(Refresh());
    auto* unit = dynamic_cast<TSensorsRTCU*>(dev->FindSensorByAddress(5));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetChannelCount(), 2);

    // Same identity: the mask is not read again.
    rm->EditUnit(5, [](RadioUnit& u) { u.params[28].value = 0x1F; });
    EXPECT_FALSE(Refresh());
    EXPECT_EQ(unit->GetChannelCount(), 2);

    rm->EditUnit(5, [](RadioUnit& u) { u.eeprom[1].value = 9; });
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(unit->GetIdentity(), 9);
    EXPECT_EQ(unit->GetChannelCount(), 5);
    EXPECT_EQ(UnitNodes(node)[0].identity, 9);
    EXPECT_EQ(UnitNodes(node)[0].channels, 5);
}

TEST_F(UnitRefresh, AUnitWhoseIdentityIsZeroGetsItsChannelCount) {
    rm->Join(Remote({5, 5, 0, 0x07}));
    Allow({5});
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(UnitNodes(node)[0].identity, 0);
    EXPECT_EQ(UnitNodes(node)[0].channels, 3);
    EXPECT_EQ(dev->FindSensorByAddress(5)->GetChannelCount(), 3);
}

TEST_F(UnitRefresh, AFailedChannelMaskReadChangesNothingAndIsRetried) {
    rm->Join(Remote({5, 5, 7, 0x05}));
    Allow({5});
    DropWhere(*rm, [](const z5sim::Message& m) { return IsParamRead(m, 5, 28); });
    EXPECT_TRUE(Refresh());  // the unit is new
    auto* unit = dynamic_cast<TSensorsRTCU*>(dev->FindSensorByAddress(5));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->GetChannelCount(), 0);  // not 8 from a -1
    EXPECT_EQ(unit->GetIdentity(), 0);
    EXPECT_FALSE(unit->HasIdentity());
    EXPECT_EQ(UnitNodes(node)[0], (UnitNode{0, 5, -1, 23, 2100, 16, 0}));

    rm->SetHook(nullptr);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(unit->GetChannelCount(), 2);
    EXPECT_EQ(UnitNodes(node)[0], (UnitNode{0, 5, 7, 23, 2100, 16, 2}));
}

TEST_F(UnitRefresh, ASilentIdentityIsRetriedABoundedNumberOfTimes) {
    rm->Join(Remote({5, 5}));
    rm->Join(Remote({6, 6, 8, 0x01}));
    Allow({5, 6});
    DropWhere(*rm, [](const z5sim::Message& m) { return m.Cmd() == kReadEEPROM && m.Address() == 5; });
    Sent();
    EXPECT_TRUE(Refresh());
    const auto sent = Sent();
    EXPECT_EQ(Count(sent, kNodeList), 3u);  // the refresh's own and two fresh ones
    size_t identityReads = 0;
    for (const auto& f : sent)
        if (f[2] == kReadEEPROM && f[3] == 5) ++identityReads;
    EXPECT_EQ(identityReads, 3u * 4u);
    // The silent unit stays for the next scan; the one after it is served.
    EXPECT_EQ(UnitNodes(node), (std::vector<UnitNode>{{0, 5, -1, 0, 0, 0, 0}, {0, 6, 8, 23, 2100, 16, 1}}));
}

TEST_F(UnitRefresh, AFailedNodeListRemovesNothing) {
    for (uint16_t a : {5, 6}) rm->Join(Remote({a, a}));
    Allow({5, 6});
    EXPECT_TRUE(Refresh());
    TTemplateSensors* five = dev->FindSensorByAddress(5);
    five->AddMeasurement(2, std::vector<int32_t>{1, 2}, 40);

    DropWhere(*rm, [](const z5sim::Message& m) { return m.Cmd() == kNodeList; });
    EXPECT_FALSE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{5, 6}));
    EXPECT_EQ(dev->FindSensorByAddress(5), five);
    EXPECT_EQ(five->GetNumMeasureAvailable(), 1);

    // A valid list that leaves 5 out does remove it.
    rm->SetHook(nullptr);
    rm->Leave(5);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{6}));
}

TEST_F(UnitRefresh, DuringAMeasurementNothingIsSentAndNothingRemoved) {
    for (uint16_t a : {5, 6}) rm->Join(Remote({a, a}));
    Allow({5, 6});
    EXPECT_TRUE(Refresh());
    ASSERT_EQ(dev->StartMeasure(), 0);
    Sent();
    rm->Leave(6);

    EXPECT_FALSE(Refresh());
    EXPECT_TRUE(Sent().empty());  // no request would pass the reader test; none eats stream bytes
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{5, 6}));
    EXPECT_FALSE(dev->GetReader().IsReaderPaused());

    EXPECT_EQ(dev->StopMeasure(), 0);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{5}));
}

TEST_F(UnitRefresh, AFailedMACReadSkipsTheUnitForThisRefresh) {
    rm->Join(Remote({5, 0x55}));
    Allow({0x55});
    DropWhere(*rm, [](const z5sim::Message& m) { return IsParamRead(m, 5, 3); });
    EXPECT_FALSE(Refresh());
    EXPECT_TRUE(ParamWrites(Sent()).empty());  // not ejected
    EXPECT_EQ(node->Sensors, nullptr);
    EXPECT_EQ(rm->NodeList(), (std::vector<uint16_t>{5}));

    rm->SetHook(nullptr);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(Addresses(node), (std::vector<int32_t>{5}));
}

TEST_F(UnitRefresh, WithoutTheOwnAddressNewUnitsWait) {
    rm->Join(Own(1, kOwnMAC, 1, 2));
    Allow({kOwnMAC});
    DropWhere(*rm, [](const z5sim::Message& m) { return IsParamRead(m, 0, 4); });
    EXPECT_FALSE(Refresh());
    EXPECT_TRUE(ParamWrites(Sent()).empty());
    EXPECT_EQ(node->Sensors, nullptr);

    rm->SetHook(nullptr);
    EXPECT_TRUE(Refresh());
    EXPECT_EQ(UnitNodes(node)[0].kind, 1);
}

TEST_F(UnitRefresh, RemovalWaitsForAClientInsideTheSensor) {
    rm->Join(Remote({5, 5}));
    Allow({5});
    EXPECT_TRUE(Refresh());
    void* handle = dev->FindSensorByAddress(5);
    auto lease = LeaseSensor(handle);
    ASSERT_TRUE(lease);

    rm->Leave(5);
    auto refresh = std::async(std::launch::async, [this] { return Refresh(); });
    EXPECT_TRUE(WaitUntil([&] { return dev->FindSensorByAddress(5) == nullptr; }));  // out of the tables
    EXPECT_TRUE(DevicesBusy.load());  // the exports refuse meanwhile
    EXPECT_EQ(refresh.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(LeaseSensor(handle));                // no new client gets in
    EXPECT_EQ(lease->GetAddress(), 5);                // the leased one still works on it
    lease = {};
    EXPECT_TRUE(refresh.get());
    EXPECT_FALSE(DevicesBusy.load());
}

TEST_F(UnitRefresh, RemoveAndFreeAllFreeEverySensorWithItsQueue) {
    rm->Join(Own(1, kOwnMAC, 1, 2));
    for (uint16_t a : {5, 6}) rm->Join(Remote({a, a}));
    Allow({kOwnMAC, 5, 6});
    EXPECT_TRUE(Refresh());
    for (int32_t a : {1, 5, 6}) dev->FindSensorByAddress(a)->AddMeasurement(1, std::vector<int32_t>{a}, 0);

    TSensorsRTCU stranger;
    EXPECT_FALSE(dev->RemoveSensor(&stranger, 0));
    EXPECT_EQ(dev->GetSensorCount(), 3);

    dev->FreeAllSensors();
    EXPECT_FALSE(DevicesBusy.load());
    EXPECT_EQ(dev->GetSensorCount(), 0);
    for (int32_t a : {1, 5, 6}) EXPECT_EQ(dev->FindSensorByAddress(a), nullptr);
    // The nodes are the scan's to free; the leak checker sees every sensor gone.
}

TEST_F(UnitRefresh, DestroyingTheDeviceFreesItsSensorsAndQueues) {
    rm->Join(Own(1, kOwnMAC, 1, 2));
    for (uint16_t a : {5, 6}) rm->Join(Remote({a, a}));
    Allow({kOwnMAC, 5, 6});
    EXPECT_TRUE(Refresh());
    for (int32_t a : {1, 5, 6})
        for (int i = 0; i < 10; ++i) dev->FindSensorByAddress(a)->AddMeasurement(1, std::vector<int32_t>{i}, i);
    void* handle = dev->FindSensorByAddress(5);
    dev.reset();
    EXPECT_FALSE(LeaseSensor(handle));
}

}  // namespace
