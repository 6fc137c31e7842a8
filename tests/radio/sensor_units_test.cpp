// The radio sensor unit classes against the simulated Radio Master: what they
// forward to their device at their own address, and the caches of a remote unit.
#include <bit>
#include <cstring>

#include "radio_support.h"
#include "z5sim_fault.h"
#include "z5widestring.h"

using namespace radio_test;
using z5sim::Fault;

namespace {

class SensorUnits : public RadioBase {
protected:
    void SetUp() override {
        RadioBase::SetUp();
        rm->SetUnit(Remote({5, 0x1122334455667788ull, 7, 0x03}));
        rtcu.SetAddress(5);
        rtcu.SetOwner(dev.get());
        rcu.SetAddress(1);
        rcu.SetKind(1);
        rcu.SetOwner(dev.get());
        Sent();
    }
    void TearDown() override {
        rtcu.SetOwner(nullptr);
        rcu.SetOwner(nullptr);
        RadioBase::TearDown();
    }
    TSensorsRTCU rtcu;
    TSensorsRCU rcu;
};

TEST(SensorUnitClasses, NewObjectsBeforeAnyRequest) {
    TSensorsRTCU remote;
    EXPECT_EQ(remote.GetName(), u"RTCU");
    EXPECT_EQ(remote.GetSamplePeriod1(), 10);
    EXPECT_EQ(remote.GetSamplePeriod2(), 2000);
    EXPECT_EQ(remote.GetParam20(), 3);
    EXPECT_EQ(remote.GetChannelCount(), 0);
    EXPECT_EQ(remote.GetIdentity(), 0);
    EXPECT_FALSE(remote.HasIdentity());
    EXPECT_EQ(remote.GetOwner(), nullptr);
    // Without a device every forwarding operation fails.
    int32_t values[5] = {};
    EXPECT_EQ(remote.ReadLatestMeasurement(5, values, 0), -1);
    EXPECT_EQ(remote.SetRtcuParam(8, 2, 1), -1);
    EXPECT_EQ(remote.GetSamplePeriod1(), 10);
    EXPECT_EQ(remote.GetMACExtAddr(), u"FFFFFFFFFFFFFFFF");

    TSensorsRCU own;
    EXPECT_EQ(own.GetName(), u"RCU");
    EXPECT_EQ(own.GetIdentity(), 0);
    EXPECT_EQ(own.GetSamplePeriod1(), -1);  // the base class's
    EXPECT_EQ(own.GetRcuParam(7), -1);
}

TEST_F(SensorUnits, WritesUpdateTheirCache) {
    struct Case {
        int32_t param, size, value;
        int32_t period1, period2, param20, channels;
    };
    const Case cases[] = {
        {8, 2, 500, 500, 2000, 3, 0},
        {9, 4, 250, 500, 250, 3, 0},
        {20, 1, 7, 500, 250, 7, 0},
        {28, 1, 0x1FF, 500, 250, 7, 8},  // only the low byte counts
        {28, 1, 0x05, 500, 250, 7, 2},
        {21, 2, 99, 500, 250, 7, 2},     // no cache
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.param);
        EXPECT_EQ(rtcu.SetRtcuParam(c.param, c.size, c.value), 0);
        EXPECT_EQ(rtcu.GetSamplePeriod1(), c.period1);
        EXPECT_EQ(rtcu.GetSamplePeriod2(), c.period2);
        EXPECT_EQ(rtcu.GetParam20(), c.param20);
        EXPECT_EQ(rtcu.GetChannelCount(), c.channels);
        const auto writes = ParamWrites(Sent());
        ASSERT_EQ(writes.size(), 1u);
        EXPECT_EQ(writes[0].address, 5);
        EXPECT_EQ(writes[0].id, c.param);
        EXPECT_EQ(rm->Unit(5)->params.at(static_cast<uint8_t>(c.param)).value, static_cast<uint64_t>(c.value) & (c.size == 1 ? 0xFF : 0xFFFFFFFF));
    }
}

TEST_F(SensorUnits, AFailedWriteChangesNoCache) {
    for (int32_t param : {8, 9, 20, 28}) {
        SCOPED_TRACE(param);
        rm->PushFault(Fault::NoAnswer());
        EXPECT_EQ(rtcu.SetRtcuParam(param, 2, 0x0F), -1);
        EXPECT_EQ(rtcu.GetSamplePeriod1(), 10);
        EXPECT_EQ(rtcu.GetSamplePeriod2(), 2000);
        EXPECT_EQ(rtcu.GetParam20(), 3);
        EXPECT_EQ(rtcu.GetChannelCount(), 0);
    }
}

TEST_F(SensorUnits, ReadAllParametersDecodesTheOddWidths) {
    rm->EditUnit(5, [](RadioUnit& u) {
        u.params[9].value = 0x00012710;   // bytes 10 27 01 00
        u.params[24].value = 0x00002710;  // bytes 10 27 00 00
        u.params[28].value = 0x0F;
    });
    TRTCUParam p{};
    EXPECT_EQ(rtcu.GetRTCUParams(&p), 1);
    EXPECT_EQ(p.Param9, 10000);
    EXPECT_EQ(p.Param24, 10000.0f);
    EXPECT_EQ(p.Param28, 0x0F);
    EXPECT_EQ(z5::WideView(p.Param3), u"1122334455667788");
    rm->EditUnit(5, [](RadioUnit& u) { u.params[24].value = 0x01000000; });  // bytes 00 00 00 01
    EXPECT_EQ(rtcu.GetRTCUParams(&p), 1);
    EXPECT_EQ(p.Param24, 16777216.0f);
    z5_wstr_free(p.Param3);
    Sent();

    // A reply of another command: the record stays as it was, after four attempts.
    for (int i = 0; i < 4; ++i) rm->PushFault(Fault::WrongCommand(0x18));
    TRTCUParam before{};
    std::memset(&before, 0xA5, sizeof before);
    before.Param3 = nullptr;
    TRTCUParam q;
    std::memcpy(&q, &before, sizeof q);
    EXPECT_EQ(rtcu.GetRTCUParams(&q), -1);
    EXPECT_EQ(std::memcmp(&q, &before, sizeof q), 0);
    EXPECT_EQ(Count(Sent(), kReadParam), 4u);
}

TEST_F(SensorUnits, LatestValuesGoNowhereWhileTheDeviceIsBeingDestroyed) {
    rm->EditUnit(5, [](RadioUnit& u) { u.latest = {{11, 12}}; });
    int32_t values[2] = {};
    EXPECT_EQ(rtcu.ReadLatestMeasurement(2, values, 0), 0);
    EXPECT_EQ(values[0], 11);
    EXPECT_EQ(values[1], 12);
    Sent();
    dev->IsDestroying = true;
    EXPECT_EQ(rtcu.ReadLatestMeasurement(2, values, 0), -1);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SensorUnits, MACOfTheOwnUnitIsParameter2AndOfARemoteUnitParameter3) {
    EXPECT_EQ(rcu.GetMACExtAddr(), u"1000000000000001");
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x7D, 0x04, 0x12, 0x01, 0x00, 0x02, 0x7E}}));
    EXPECT_EQ(rtcu.GetMACExtAddr(), u"1122334455667788");
    EXPECT_EQ(Sent(), (std::vector<Bytes>{{0x7D, 0x04, 0x12, 0x05, 0x00, 0x03, 0x7E}}));
}

TEST_F(SensorUnits, OwnUnitParametersWithoutCaching) {
    EXPECT_EQ(rcu.SetRcuParam(8, 2, 0x0321), 0);
    EXPECT_EQ(rm->Unit(1)->params.at(8).value, 0x0321u);
    EXPECT_EQ(rcu.GetRcuParam(8), 0x0321);
    EXPECT_EQ(rcu.GetSamplePeriod1(), -1);
    EXPECT_EQ(rcu.SetRtcuParam(8, 2, 1), -1);  // not an operation of the own unit
    rm->PushFault(Fault::NoAnswer());
    EXPECT_EQ(rcu.SetRcuParam(8, 2, 1), -1);
}

TEST_F(SensorUnits, SensorOperationsReachTheUnitAtItsAddress) {
    EXPECT_EQ(rtcu.GetRtcuParam(21), 2100);
    rm->EditUnit(5, [](RadioUnit& u) { u.params[4].value = 0x0404; });
    EXPECT_EQ(rtcu.GetDeviceParam4(), 0x0404);
    EXPECT_EQ(rtcu.GetSUParam(1), 7);

    EXPECT_EQ(rtcu.SetEEPROMData(3, 2, 0x1234), 0);
    EXPECT_EQ(rtcu.SetEEPROMDataCal(18, 1.5f), 0);
    EXPECT_EQ(rtcu.SetEEPROMDataTrim(33, -2.25f), 0);
    const auto unit = rm->Unit(5);
    EXPECT_EQ(unit->eeprom.at(3).value, 0x1234u);
    EXPECT_EQ(unit->eeprom.at(18).value, std::bit_cast<uint32_t>(1.5f));
    EXPECT_EQ(unit->eeprom.at(33).value, std::bit_cast<uint32_t>(-2.25f));

    TSensorEEPROMData data{};
    float calibration[TTemplateSensors::kCalibrationValues] = {};
    float trim[TTemplateSensors::kTrimValues] = {};
    EXPECT_EQ(rtcu.GetEEPROMData(0, &data, calibration, trim), 1);
    EXPECT_EQ(data.Data1, 7);
    EXPECT_EQ(data.Data3, 0x1234);
    EXPECT_EQ(rtcu.GetEEPROMData(1, &data, calibration, trim), 1);
    EXPECT_EQ(calibration[0], 1.5f);
    EXPECT_EQ(rtcu.GetEEPROMData(2, &data, calibration, trim), 1);
    EXPECT_EQ(trim[0], -2.25f);

    EXPECT_EQ(rtcu.SetRange(2, 40), 0);
    EXPECT_EQ(rtcu.GetRange(2), 40);
    EXPECT_EQ(rtcu.SetCommand(3, 0x1234), 0);
    EXPECT_EQ(rtcu.SetValueToZero(4), 0);
    const auto after = rm->Unit(5);
    EXPECT_EQ(after->commands, (std::vector<std::pair<uint8_t, uint16_t>>{{3, 0x1234}}));
    EXPECT_EQ(after->zeroRequests, (std::vector<uint8_t>{4}));
    for (const auto& f : Sent()) EXPECT_EQ(f[3] | f[4] << 8, 5) << int(f[2]);
}

}  // namespace
