// The logger's requests, version text, latest values, open, close and destruction
// against a simulated logger.
#include <gtest/gtest.h>

#include "dlu_support.h"
#include "uD2XX.h"
#include "uGlobalDev.h"
#include "z5sim_fault.h"

using dlu_test::Bytes;
using dlu_test::Logger;
using dlu_test::Request;
using z5sim::Fault;

TEST_F(Logger, CommandTextsSendTheirRequestOnce) {
    struct Case {
        const char* text;
        std::vector<Bytes> sent;
        int32_t result;
    };
    const std::vector<Case> cases = {
        {"0017,1,\r", {Request('P')}, 0},
        {"0018,1,\r", {Request('S')}, 0},
        {"18,0,\r", {Request('S')}, 0},
        {"0017,1,", {}, -1},   // no carriage return
        {"0025,1,\r", {}, -1}, // not the logger's
        {"x7,1,\r", {}, -1},   // no code
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t reply = 77;
        EXPECT_EQ(dlu->SendCmdAndGetResponse(c.text, reply), c.result);
        EXPECT_EQ(reply, 77);
        EXPECT_EQ(Frames(), c.sent);
    }
    int32_t reply = 0;
    EXPECT_EQ(dlu->SendCmdAndGetResponse(nullptr, reply), -1);
}

TEST_F(Logger, CommandNeedsAFreshFrameQ) {
    int32_t reply = 0;
    struct Case {
        const char* name;
        Fault fault;
    };
    for (const auto& c : {Case{"wrong command", Fault::WrongCommand('R')}, Case{"silent", Fault::NoAnswer()}}) {
        SCOPED_TRACE(c.name);
        // An accepted reply first, so a stale one would be there to be judged.
        ASSERT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), 0);
        sim->PushFault(c.fault);
        EXPECT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), -1);
    }
    // Cut after 2 bytes and completed within a read time-out: judged whole.
    sim->PushFault(Fault::Split(2, 5));
    EXPECT_EQ(dlu->SendCmdAndGetResponse("0018,1,\r", reply), 0);
}

TEST_F(Logger, VersionText) {
    struct Case {
        const char* name;
        std::string version;
        std::vector<Fault> faults;
        std::string expected;
    };
    const std::string digits50(50, '7');
    const std::vector<Case> cases = {
        {"plain", "1.09/2", {}, std::string("1.09/2\0", 7)},
        {"other", "2.10/1", {}, std::string("2.10/1\0", 7)},
        // Read in two pieces: the wait ends at 4 bytes, the rest comes within a read.
        {"in two pieces", "1.10/3", {Fault::Split(4, 10)}, std::string("1.10/3\0", 7)},
        {"frame bytes and letters dropped", "\x7D\x03:1.9/2A\x7E", {}, std::string(":1.9/2\0", 7)},
        {"41 characters at most", digits50, {}, std::string(41, '7') + '\0'},
        {"silent: the zero character alone", "1.09/2", {Fault::NoAnswer()}, std::string(1, '\0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim->SetVersion(c.version);
        for (const auto& f : c.faults) sim->PushFault(f);
        EXPECT_EQ(dlu->GetVersion(), c.expected);
        EXPECT_EQ(Frames(), std::vector<Bytes>{Request('W')});
    }
}

TEST_F(Logger, LatestValues) {
    struct Case {
        const char* name;
        std::string reply;
        int32_t count;
        int32_t result;
        std::vector<int32_t> values;
    };
    const std::vector<Case> cases = {
        {"three fields", "12\t-3\t7\t\r", 8, 0, {12, -3, 7, 99, 99}},
        {"text after the last TAB is not a value", "12\t-3\r", 8, 0, {12, 99, 99, 99, 99}},
        {"only the first line", "1\t\r2\t3\t\r", 8, 0, {1, 99, 99, 99, 99}},
        {"no more than Count", "1\t2\t3\t4\t\r", 2, 0, {1, 2, 99, 99, 99}},
        {"a frame", "\x7D\x03Q\xFE\xFF\x7E", 8, -1, {99, 99, 99, 99, 99}},
        {"no integer", "12\t1,5\t\r", 8, -1, {99, 99, 99, 99, 99}},
        {"line never ends", "12\t-3\t", 8, -1, {99, 99, 99, 99, 99}},
        {"nothing", "", 8, -1, {99, 99, 99, 99, 99}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim->SetLatest(c.reply);
        std::vector<int32_t> values(5, 99);
        EXPECT_EQ(dlu->ReadLatest(0, c.count, values.data(), 0), c.result);
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(Frames(), std::vector<Bytes>{Request('X')});
    }
    // Through the sensor, with a stale good reply before a silent one.
    sim->SetLatest("5\t6\t\r");
    std::vector<int32_t> values(2, 0);
    EXPECT_EQ(dlu->GetSensorDLU()->ReadLatestMeasurement(2, values.data(), 0), 0);
    EXPECT_EQ(values, (std::vector<int32_t>{5, 6}));
    sim->PushFault(Fault::NoAnswer());
    EXPECT_EQ(dlu->GetSensorDLU()->ReadLatestMeasurement(2, values.data(), 0), -1);
}

TEST_F(Logger, SensorAndItsNode) {
    EXPECT_EQ(dlu->GetTyp(), 3);
    std::u16string name;
    dlu->GetName(name);
    EXPECT_EQ(name, u"DLU");
    EXPECT_EQ(dlu->GetMaxSensors(), 1);
    TSensorsDLU* sensor = dlu->GetSensorDLU();
    EXPECT_EQ(dlu->GetSensor(0), sensor);
    EXPECT_EQ(dlu->GetSensor(1), nullptr);
    EXPECT_EQ(dlu->GetSensor(-1), nullptr);
    EXPECT_EQ(sensor->GetOwner(), dlu.get());
    EXPECT_EQ(sensor->GetLoggerAddress(), 1);
    EXPECT_EQ(sensor->GetAddress(), 0);
    EXPECT_EQ(sensor->GetChannelList().size(), 1u);

    TDeviceStructure* node = NewDeviceNode(TOVAMOD_KIND_FIELD_PORT, dlu.get(), "FP1");
    EXPECT_TRUE(dlu->RefreshSensors(node));
    ASSERT_NE(node->Sensors, nullptr);
    TSensorStructure* first = node->Sensors;
    EXPECT_EQ(first->Sensor, sensor);
    EXPECT_EQ(first->Next, nullptr);
    EXPECT_FALSE(dlu->RefreshSensors(node));
    EXPECT_EQ(node->Sensors, first);
    EXPECT_EQ(first->Next, nullptr);
    FreeDeviceNode(node);
}

TEST_F(Logger, OpenNeedsTheDevice) {
    TDLU other;
    other.SetSerialNo("NOPE");
    EXPECT_EQ(other.OpenDevice(921600, 0), -1);
    EXPECT_EQ(other.GetHandle(), nullptr);
    // Open already: a second open of the same serial is refused, the handle stays.
    d2xx::Handle h = dlu->GetHandle();
    EXPECT_EQ(dlu->OpenDevice(921600, 0), -1);
    EXPECT_EQ(dlu->GetHandleValue(), h);
    EXPECT_EQ(dlu->GetFtdiDevice()->GetFTHandle(), h);
}

TEST_F(Logger, ClosedLoggerAnswersWithFailures) {
    EXPECT_EQ(dlu->CloseDevice(), 0);
    EXPECT_EQ(Frames(), std::vector<Bytes>{Request('S')});
    EXPECT_EQ(dlu->GetHandle(), nullptr);
    EXPECT_EQ(dlu->GetFtdiDevice()->GetFTHandle(), nullptr);

    int32_t reply = 0;
    int32_t values[4] = {};
    dlu_test::Records records;
    dlu_test::VectorStream image(Bytes(10, 1));
    const uint8_t hardware[] = {2};
    EXPECT_NE(dlu->CloseDevice(), 0);
    EXPECT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), -1);
    EXPECT_EQ(dlu->GetVersion(), "");
    EXPECT_EQ(dlu->ReadLatest(0, 4, values, 0), -1);
    EXPECT_EQ(dlu->GetDLUFileData(records.data()), -1);
    EXPECT_EQ(dlu->GetDLUValues(records.data(), 0), -1);
    EXPECT_EQ(dlu->UpdateStart(0, 0x0109, 1, 1, 10, 3, 1, hardware), -1);
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &image.holder), -1);
    EXPECT_EQ(dlu->UpdateFinish(0, 0), -1);
    EXPECT_TRUE(sim->ReceivedBytes().empty());
    EXPECT_EQ(records[0].Name, nullptr);

    // It can be opened again.
    EXPECT_EQ(dlu->OpenDevice(921600, 0), 0);
    EXPECT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), 0);
}

TEST_F(Logger, DestroyingRefusesRequests) {
    dlu->IsDestroying = true;
    int32_t reply = 0;
    const uint8_t hardware[] = {2};
    dlu_test::VectorStream image(Bytes(10, 1));
    dlu_test::Records records;
    EXPECT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), -1);
    EXPECT_EQ(dlu->UpdateStart(0, 0x0109, 1, 1, 10, 3, 1, hardware), -1);
    EXPECT_EQ(dlu->UpdateBlocks(0, 1, &image.holder), -1);
    EXPECT_EQ(dlu->UpdateFinish(0, 0), -1);
    EXPECT_EQ(dlu->GetDLUFileData(records.data()), -1);
    EXPECT_TRUE(sim->ReceivedBytes().empty());
}

TEST_F(Logger, VanishedLoggerFailsEveryRequest) {
    ASSERT_TRUE(bus.Unplug("FP1"));
    int32_t reply = 0;
    int32_t values[2] = {};
    dlu_test::Records records;
    EXPECT_EQ(dlu->SendCmdAndGetResponse("0017,1,\r", reply), -1);
    EXPECT_EQ(dlu->GetVersion(), "");
    EXPECT_EQ(dlu->ReadLatest(0, 2, values, 0), -1);
    EXPECT_EQ(dlu->GetDLUFileData(records.data()), -1);
    EXPECT_EQ(dlu->UpdateFinish(0, 0), -1);
    EXPECT_NE(dlu->CloseDevice(), 0);
    EXPECT_EQ(dlu->GetHandle(), nullptr);
}
