// TRTUU as an object on one line: identity, open and close, destruction, tables.
#include <stdexcept>

#include "engine_support.h"

using namespace engine_test;

namespace {

TEST(RadioBase, NewObjectHasReaderRunningAndLineClosed) {
    TRTUU dev;
    std::u16string name;
    dev.GetName(name);
    EXPECT_EQ(name, u"RTUU");
    EXPECT_EQ(dev.GetTyp(), 2);
    EXPECT_EQ(dev.GetHandle(), nullptr);
    EXPECT_FALSE(dev.IsLineOpen());
    EXPECT_TRUE(dev.GetReader().ThreadsRunning());
    EXPECT_EQ(dev.GetSampleRate(), 50);
    EXPECT_EQ(dev.GetNodeAddresses()[0], -1);
    EXPECT_EQ(dev.GetSensorCount(), 0);
    EXPECT_EQ(dev.GetSensor(0), nullptr);
    EXPECT_THROW(dev.GetSensor(-1), std::out_of_range);
    EXPECT_EQ(dev.FindSensorByAddress(5), nullptr);
    // A closed line: requests reach no device and fail at once.
    EXPECT_EQ(dev.ReadParam(0, 4), -1);
}

TEST(RadioBase, OpenFailsWithoutTheDevice) {
    z5sim::Bus empty;
    empty.Export();
    TRTUU dev;
    dev.SetSerialNo("RM1");
    EXPECT_EQ(dev.OpenDevice(921600, 0), -1);

    z5sim::Bus bus;
    bus.Export();
    ASSERT_TRUE(bus.Plug(std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RM2")));
    EXPECT_EQ(dev.OpenDevice(921600, 0), -1);  // another serial number
    EXPECT_FALSE(dev.IsLineOpen());
}

TEST(RadioBase, SettingsAndAdmissionEvent) {
    TRTUU dev;
    dev.SetSerialNo("X1");
    EXPECT_EQ(dev.GetSerialNo(), "X1");
    dev.SetOwnMAC("0011223344556677");
    EXPECT_EQ(dev.GetOwnMAC(), "0011223344556677");
    EXPECT_FALSE(dev.GetNetworkLock());
    dev.SetNetworkLock(true);
    EXPECT_TRUE(dev.GetNetworkLock());
    EXPECT_FALSE(dev.SensorAllowed("A", "B"));  // no event set
    std::string seen;
    dev.SetOnSensorAllowed([&](const std::string& s, const std::string& o) {
        seen = s + "/" + o;
        return true;
    });
    EXPECT_TRUE(dev.SensorAllowed("A", "B"));
    EXPECT_EQ(seen, "A/B");
}

class Line : public RadioLine {};

TEST_F(Line, OpenSetsTheHandleForRequestsAndReader) {
    EXPECT_TRUE(dev->IsLineOpen());
    EXPECT_NE(dev->GetHandle(), nullptr);
    EXPECT_EQ(dev->GetReader().GetFTHandle(), dev->GetHandle());
    EXPECT_EQ(dev->GetRTUUParam(4), 1);
}

TEST_F(Line, SecondCloseDoesNotReachTheDriver) {
    const d2xx::Handle first = dev->GetHandle();
    EXPECT_EQ(dev->CloseDevice(), 0);
    EXPECT_EQ(dev->GetHandle(), first);  // kept
    EXPECT_EQ(dev->GetReader().GetFTHandle(), nullptr);
    EXPECT_EQ(dev->GetRTUUParam(4), -1);

    // Another object opens the same line (the layer may hand out the same handle).
    TRTUU other;
    other.SetSerialNo(kSerial);
    ASSERT_EQ(other.OpenDevice(921600, 0), 0);
    EXPECT_EQ(dev->CloseDevice(), static_cast<int32_t>(d2xx::kInvalidHandle));
    EXPECT_EQ(other.GetRTUUParam(6), 11);  // its line is still open
    dev.reset();                            // the destructor's close does not reach it either
    EXPECT_EQ(other.GetRTUUParam(6), 11);
}

TEST_F(Line, DestructionClosesTheLine) {
    dev.reset();
    TRTUU again;
    again.SetSerialNo(kSerial);
    EXPECT_EQ(again.OpenDevice(921600, 0), 0);  // the line was let go
}

TEST_F(Line, DestroyingObjectRefusesEveryRequest) {
    dev->IsDestroying = true;
    TRTUUParams params{};
    TRTCUParam rtcu{};
    TSensorEEPROMData data{};
    int32_t values[5] = {};
    int32_t reply = 0;
    EXPECT_EQ(dev->WriteParam(0, 6, 1, 1), -1);
    EXPECT_EQ(dev->ReadParam(0, 6), -1);
    EXPECT_EQ(dev->GetRTUUParams(&params), -1);
    EXPECT_EQ(dev->ReadRTCUParams(5, &rtcu), -1);
    EXPECT_EQ(dev->GetMACExtAddr(0, false), kNoMAC);
    dev->ReadNodeList();
    EXPECT_EQ(dev->WriteSensorEEPROM(5, 1, 1, 1), -1);
    EXPECT_EQ(dev->WriteSensorEEPROMFloat(5, 18, 1.0f), -1);
    EXPECT_EQ(dev->ReadSensorParam(5, 1), -1);
    EXPECT_EQ(dev->ReadSensorEEPROM(5, 0, &data, nullptr, nullptr), -1);
    EXPECT_EQ(dev->SetRange(5, 1, 2), -1);
    EXPECT_EQ(dev->GetRange(5, 1), -1);
    EXPECT_EQ(dev->SendSensorCommand(5, 1, 2), -1);
    EXPECT_EQ(dev->SetValueToZero(5, 0), -1);
    EXPECT_EQ(dev->ReadLatest(5, 5, values, 0), -1);
    EXPECT_EQ(dev->StartMeasure(), -1);
    EXPECT_EQ(dev->StopMeasure(), -1);
    EXPECT_EQ(dev->SendZ(), -1);
    EXPECT_EQ(dev->SendCmdAndGetResponse("0010,0,\r", reply), -1);
    EXPECT_EQ(dev->BytesWaiting(), -1);
    EXPECT_EQ(dev->OpenDevice(921600, 0), -1);
    int64_t own = 7;
    EXPECT_EQ(dev->Identify(dev->GetHandle(), own), 0);
    EXPECT_EQ(own, 7);
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(MeasureMode.load());
}

TEST_F(Line, IdentifyReadsOwnAddressAndHardwareKind) {
    struct Case {
        const char* name;
        bool silent;
        uint64_t param4;
        int32_t result;
        int64_t address;
        bool valid;
    };
    for (const Case c : {Case{"own address set", false, 3, 4, 3, true},
                         Case{"no own address", false, 0xFFFF, 4, 0xFFFF, false},
                         Case{"no reply", true, 3, -1, -1, false}}) {
        SCOPED_TRACE(c.name);
        rm->SetParam(4, c.param4, 2);
        if (c.silent)
            for (int i = 0; i < 8; ++i) rm->PushFault(z5sim::Fault::NoAnswer());
        int64_t address = 0;
        EXPECT_EQ(dev->Identify(dev->GetHandle(), address), c.result);
        EXPECT_EQ(address, c.address);
        EXPECT_EQ(dev->GetOwnAddressValid(), c.valid);
        rm->ClearFaults();
    }
}

}  // namespace
