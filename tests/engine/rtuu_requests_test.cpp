// Each request against the simulated Radio Master: the bytes that go out and what
// the reply decodes to.
#include <cmath>
#include <cstring>

#include "engine_support.h"
#include "z5test_wait.h"

using namespace engine_test;
using z5sim::RadioUnit;

namespace {

class Requests : public RadioLine {
protected:
    void AddUnit(uint16_t address, uint64_t mac = 0) { rm->SetUnit(RadioUnit::Remote(address, mac)); }
};

TEST_F(Requests, WriteParamSendsOneTwoOrFourValueBytes) {
    struct Case {
        int32_t size, value;
        Bytes frame;
        uint64_t stored;
    };
    const std::vector<Case> cases = {
        {1, 99, B({0x7D, 0x05, 0x11, 0x00, 0x00, 0x06, 0x63, 0x7E}), 99},
        {0, 0x1234, B({0x7D, 0x05, 0x11, 0x00, 0x00, 0x06, 0x34, 0x7E}), 0x34},
        {2, 0x1234, B({0x7D, 0x06, 0x11, 0x00, 0x00, 0x06, 0x34, 0x12, 0x7E}), 0x1234},
        {4, 0x12345678, B({0x7D, 0x08, 0x11, 0x00, 0x00, 0x06, 0x78, 0x56, 0x34, 0x12, 0x7E}), 0x12345678},
        {3, 0x12345678, B({0x7D, 0x08, 0x11, 0x00, 0x00, 0x06, 0x78, 0x56, 0x34, 0x12, 0x7E}), 0x12345678},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(dev->WriteParam(0, 6, c.size, c.value), 0);
        ExpectSentOnly(c.frame);
        EXPECT_EQ(rm->GetParam(6)->value, c.stored);
    }
    EXPECT_EQ(dev->SetRTUUParam(6, 1, 12), 0);
    ExpectSentOnly(B({0x7D, 0x05, 0x11, 0x00, 0x00, 0x06, 0x0C, 0x7E}));
}

TEST_F(Requests, WriteOfParameter26SetsTheSampleRate) {
    EXPECT_EQ(dev->WriteParam(0, 26, 1, 0x164), 0);
    EXPECT_EQ(dev->GetSampleRate(), 0x64);
    rm->PushFault(z5sim::Fault::NoAnswer());
    EXPECT_EQ(dev->WriteParam(0, 26, 1, 7), -1);
    EXPECT_EQ(dev->GetSampleRate(), 0x64);  // a failed write changes nothing
    EXPECT_EQ(Sent().size(), 2u);           // one attempt each
}

TEST_F(Requests, ReadParamDecodesByReplyLength) {
    struct Case {
        uint8_t width;
        uint64_t value;
        int64_t result;
    };
    const std::vector<Case> cases = {
        {1, 0xAB, 0xAB},
        {2, 0x1234, 0x1234},
        {4, 0x12345678, 0x12345678},
        {4, 0xFFFFFFFF, 0xFFFFFFFFll},  // zero-extended, not -1
        {8, 0x0807060504030201ull, 0x0807060504030201ll},
        {3, 0x123456, -1},  // LEN 7 is no width
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.width));
        rm->SetParam(1, c.value, c.width);
        EXPECT_EQ(dev->ReadParam(0, 1), c.result);
        const auto sent = Sent();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent[0], B({0x7D, 0x04, 0x12, 0x00, 0x00, 0x01, 0x7E}));
        EXPECT_EQ(sent.size(), c.result == -1 ? 4u : 1u);
    }
    AddUnit(0x0105);
    rm->EditUnit(0x0105, [](RadioUnit& u) { u.params[8] = {500, 2}; });
    EXPECT_EQ(dev->ReadParam(0x0105, 8), 500);
    ExpectSentOnly(B({0x7D, 0x04, 0x12, 0x05, 0x01, 0x08, 0x7E}));
}

TEST_F(Requests, GetRTUUParamsFillsTheRecordFromOneReply) {
    const uint64_t values[14] = {0x0102, 2, 3, 4, 0x0F05, 6, 7, 8, 9, 1234, 0x0B0A, 0x0C0B, 12, 13};
    for (uint8_t id = 0; id < 14; ++id) rm->SetParam(id, values[id]);
    rm->SetParam(7, 0x77, 8);  // the block carries one byte of it
    TRTUUParams p{};
    EXPECT_EQ(dev->GetRTUUParams(&p), 1);
    Bytes request = B({0x7D, 0x11, 0x12, 0x00, 0x00});
    for (int id = 0; id < 14; ++id) request.push_back(static_cast<uint8_t>(id));
    request.push_back(0x7E);
    EXPECT_EQ(Sent(), std::vector<Bytes>{request});  // one valid reply ends the attempts
    EXPECT_EQ(p.Param0, 0x0102);
    EXPECT_EQ(p.Param4, 0x0F05);
    EXPECT_EQ(p.Param5, 6);
    EXPECT_EQ(p.Param6, 7);
    EXPECT_EQ(p.Param7, 0x77);
    EXPECT_EQ(p.Param8, 9);
    EXPECT_EQ(p.Param9, 1234.0f);
    EXPECT_EQ(p.Param10, 0x0B0A);
    EXPECT_EQ(p.Param11, 0x0C0B);
    EXPECT_EQ(p.Param12, 12);
    EXPECT_EQ(p.Param13, 13);
}

TEST_F(Requests, ReadRTCUParamsFillsAllTwentyNineFields) {
    AddUnit(5, 0xEFCDAB8967452301ull);
    rm->EditUnit(5, [](RadioUnit& u) {
        for (uint8_t id = 0; id < 29; ++id)
            if (id != 3) u.params[id].value = 0x0100u + id;
        u.params[9].value = 0x00012710;   // 10000 in the low 16 bits
        u.params[24].value = 0x01000000;  // 2^24
    });
    TRTCUParam p{};
    p.Param3 = z5::WideAlloc(u"old");  // released by the fill
    EXPECT_EQ(dev->ReadRTCUParams(5, &p), 1);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 35u);
    EXPECT_EQ(sent[0][1], 0x20);
    EXPECT_EQ(sent[0][3], 5);
    EXPECT_EQ(sent[0][5], 0);
    EXPECT_EQ(sent[0][33], 28);
    EXPECT_EQ(p.Param0, 0x0100);
    EXPECT_EQ(p.Param2, 0x0102);
    EXPECT_EQ(z5::WideView(p.Param3), u"EFCDAB8967452301");
    EXPECT_EQ(p.Param7, 0x07);  // one byte
    EXPECT_EQ(p.Param8, 0x0108);
    EXPECT_EQ(p.Param9, 10000);
    EXPECT_EQ(p.Param10, 0x0A);
    EXPECT_EQ(p.Param13, 0x010D);
    EXPECT_EQ(p.Param14, 0x0E);
    EXPECT_EQ(p.Param20, 0x14);
    EXPECT_EQ(p.Param21, 0x0115);
    EXPECT_EQ(p.Param23, 0x17);
    EXPECT_EQ(p.Param24, 16777216.0f);
    EXPECT_EQ(p.Param25, 0x19);
    EXPECT_EQ(p.Param28, 0x1C);
    z5_wstr_free(p.Param3);
}

TEST_F(Requests, MACTextOfDeviceOwnUnitAndRemoteUnit) {
    rm->SetParam(7, 0xEFCDAB8967452301ull, 8);
    rm->SetUnit(RadioUnit::Own(1, 0x0A0B0C0D0E0F1011ull));
    AddUnit(5, 0x1122334455667788ull);
    struct Case {
        int32_t address;
        bool own;
        uint8_t id;
        std::string text;
    };
    for (const Case& c : {Case{0, false, 7, "EFCDAB8967452301"}, Case{0, true, 7, "EFCDAB8967452301"},
                          Case{1, true, 2, "0A0B0C0D0E0F1011"}, Case{5, false, 3, "1122334455667788"}}) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(dev->GetMACExtAddr(c.address, c.own), c.text);
        ExpectSentOnly(B({0x7D, 0x04, 0x12, c.address, 0x00, c.id, 0x7E}));
    }
    EXPECT_EQ(dev->GetMACExtAddr(9, false), kNoMAC);  // no unit there
    EXPECT_EQ(Sent().size(), 4u);
}

TEST_F(Requests, NodeListFillsTheTable) {
    rm->SetNodeList({1, 5});
    dev->ReadNodeList();
    ExpectSentOnly(B({0x7D, 0x03, 0x1F, 0x00, 0x00, 0x7E}));
    const auto& t = dev->GetNodeAddresses();
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[1], 5);
    EXPECT_EQ(t[2], -1);

    std::vector<uint16_t> many;
    for (uint16_t a = 1; a <= 120; ++a) many.push_back(a);
    rm->SetNodeList(many);
    dev->ReadNodeList();
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[98], 99);
    EXPECT_EQ(t[99], -1);

    rm->SetNodeList({});
    dev->ReadNodeList();
    EXPECT_EQ(t[0], -1);
}

TEST_F(Requests, SensorEEPROMWrites) {
    AddUnit(3);
    struct Case {
        int32_t size;
        int64_t value;
        Bytes frame;
    };
    const std::vector<Case> cases = {
        {1, 0x1FF, B({0x7D, 0x05, 0x41, 0x03, 0x00, 0x02, 0xFF, 0x7E})},
        {2, 0x1234, B({0x7D, 0x06, 0x41, 0x03, 0x00, 0x02, 0x34, 0x12, 0x7E})},
        {3, 0x123456, B({0x7D, 0x07, 0x41, 0x03, 0x00, 0x02, 0x56, 0x34, 0x12, 0x7E})},
        {4, 0x7712345678ll, B({0x7D, 0x08, 0x41, 0x03, 0x00, 0x02, 0x78, 0x56, 0x34, 0x12, 0x7E})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(dev->WriteSensorEEPROM(3, 2, c.size, c.value), 0);
        ExpectSentOnly(c.frame);
    }
    EXPECT_EQ(rm->Unit(3)->eeprom.at(2).value, 0x12345678u);
    EXPECT_EQ(dev->WriteSensorEEPROM(3, 2, 5, 1), -1);
    EXPECT_EQ(dev->WriteSensorEEPROM(3, 2, 0, 1), -1);
    EXPECT_EQ(dev->WriteSensorEEPROMFloat(3, 18, 1.5f), 0);
    ExpectSentOnly(B({0x7D, 0x08, 0x41, 0x03, 0x00, 0x12, 0x00, 0x00, 0xC0, 0x3F, 0x7E}));
    EXPECT_EQ(TRTUU::FloatFromBytes(0x00, 0x00, 0xC0, 0x3F), 1.5f);
}

TEST_F(Requests, SensorParamDecodesOneToFourBytes) {
    AddUnit(3);
    for (uint8_t width = 1; width <= 4; ++width) {
        SCOPED_TRACE(static_cast<int>(width));
        const uint64_t value = 0xF4F3F2F1ull & ((1ull << (8 * width)) - 1);
        rm->EditUnit(3, [&](RadioUnit& u) { u.eeprom[1] = {value, width}; });
        EXPECT_EQ(dev->ReadSensorParam(3, 1), static_cast<int64_t>(value));
        ExpectSentOnly(B({0x7D, 0x04, 0x42, 0x03, 0x00, 0x01, 0x7E}));
    }
}

TEST_F(Requests, SensorEEPROMBlocks) {
    AddUnit(3);
    const uint32_t widths[18] = {1, 1, 4, 2, 1, 4, 4, 1, 1, 1, 1, 1, 2, 1, 4, 4, 1, 1};
    rm->EditUnit(3, [&](RadioUnit& u) {
        for (uint8_t id = 0; id < 18; ++id) u.eeprom[id].value = (0xA0u + id) | (widths[id] > 1 ? 0x55000000u : 0);
        for (uint8_t id = 18; id < 43; ++id) u.eeprom[id].value = std::bit_cast<uint32_t>(id * 0.5f);
    });
    TSensorEEPROMData d{};
    float cal[15] = {}, trim[10] = {};
    EXPECT_EQ(dev->ReadSensorEEPROM(3, 0, &d, cal, trim), 1);
    EXPECT_EQ(d.Data0, 0xA0);
    EXPECT_EQ(d.Data1, 0xA1);
    EXPECT_EQ(d.Data2, 0x550000A2u);
    EXPECT_EQ(d.Data3, 0xA3);  // two bytes of it
    EXPECT_EQ(d.Data6, 0x550000A6u);
    EXPECT_EQ(d.Data11, 0xAB);
    EXPECT_EQ(d.Data12, 0xAC);
    EXPECT_EQ(d.Data15, 0x550000AFu);
    EXPECT_EQ(d.Data17, 0xB1);
    EXPECT_EQ(cal[0], 0.0f);  // only the asked block is written
    EXPECT_EQ(dev->ReadSensorEEPROM(3, 1, nullptr, cal, nullptr), 1);
    EXPECT_EQ(cal[0], 9.0f);
    EXPECT_EQ(cal[14], 16.0f);
    EXPECT_EQ(dev->ReadSensorEEPROM(3, 2, nullptr, nullptr, trim), 1);
    EXPECT_EQ(trim[0], 16.5f);
    EXPECT_EQ(trim[9], 21.0f);
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].size(), 24u);
    EXPECT_EQ(sent[0][1], 0x15);
    EXPECT_EQ(sent[0][22], 17);
    EXPECT_EQ(sent[1].size(), 21u);
    EXPECT_EQ(sent[1][5], 18);
    EXPECT_EQ(sent[2].size(), 16u);
    EXPECT_EQ(sent[2][1], 0x0D);
    EXPECT_EQ(sent[2][14], 42);
    EXPECT_EQ(dev->ReadSensorEEPROM(3, 3, &d, cal, trim), -1);
    EXPECT_EQ(dev->ReadSensorEEPROM(3, 1, &d, nullptr, trim), -1);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Requests, RangeCommandAndZero) {
    AddUnit(3);
    EXPECT_EQ(dev->SetRange(3, 1, 10), 0);
    EXPECT_EQ(dev->SetRange(3, 2, 20), 0);
    EXPECT_EQ(dev->SetRange(3, 0xFF, 30), 0);
    EXPECT_EQ(Sent()[1], B({0x7D, 0x05, 0x4C, 0x03, 0x00, 0x02, 0x14, 0x7E}));
    EXPECT_EQ(dev->GetRange(3, 2), 30);  // the last pair with the id or 0xFF wins
    ExpectSentOnly(B({0x7D, 0x03, 0x4C, 0x03, 0x00, 0x7E}));
    rm->EditUnit(3, [](RadioUnit& u) { u.range.erase(0xFF); });
    EXPECT_EQ(dev->GetRange(3, 1), 10);
    EXPECT_EQ(dev->GetRange(3, 7), -1);  // no such pair: every attempt fails
    EXPECT_EQ(Sent().size(), 5u);

    EXPECT_EQ(dev->SendSensorCommand(3, 0x21, 0x1234), 0);
    ExpectSentOnly(B({0x7D, 0x06, 0x63, 0x03, 0x00, 0x21, 0x34, 0x12, 0x7E}));
    EXPECT_EQ(rm->Unit(3)->commands, (std::vector<std::pair<uint8_t, uint16_t>>{{0x21, 0x1234}}));

    rm->ClearReceived();
    EXPECT_EQ(dev->SetValueToZero(3, 0), 0);
    EXPECT_EQ(rm->ReceivedBytes(), B({0x7D, 0x04, 0x4B, 0x03, 0x00, 0x00, 0x7E}));
}

TEST_F(Requests, ReadLatestValues) {
    AddUnit(5);
    rm->EditUnit(5, [](RadioUnit& u) { u.latest = {{0x0102, 0xFFFF, 7}}; });
    int32_t values[4] = {-9, -9, -9, -9};
    EXPECT_EQ(dev->ReadLatest(0x0105, 3, values, 0), 0);
    ExpectSentOnly(B({0x7D, 0x03, 0x01, 0x05, 0x00, 0x7E}));  // low byte only
    EXPECT_EQ(values[0], 0x0102);
    EXPECT_EQ(values[1], 0xFFFF);
    EXPECT_EQ(values[2], 7);
    EXPECT_EQ(values[3], -9);
    rm->EditUnit(5, [](RadioUnit& u) { u.latestCmd = 0x0A; });
    EXPECT_EQ(dev->ReadLatest(5, 2, values, 1), 0);
    rm->EditUnit(5, [](RadioUnit& u) { u.latestCmd = 0x0B; });
    EXPECT_EQ(dev->ReadLatest(5, 2, values, 1), -1);
    EXPECT_EQ(dev->ReadLatest(5, -1, values, 0), -1);
    EXPECT_EQ(dev->ReadLatest(5, 1, nullptr, 0), -1);
}

TEST_F(Requests, SendZAndCommandCodes) {
    int32_t reply = 0;
    EXPECT_EQ(dev->SendCmdAndGetResponse("0010,0,\r", reply), 0);
    EXPECT_EQ(Sent(1), std::vector<Bytes>{B({0x7D, 0x04, 0x5A, 0x00, 0x00, 0x02, 0x7E})});
    // The Z request awaits no reply: the model may count it after the call returned.
    EXPECT_TRUE(z5test::WaitUntil([&] { return rm->ZRequests() == 1u; }));
    EXPECT_EQ(dev->SendCmdAndGetResponse("0010,0,", reply), -1);  // no carriage return
    EXPECT_EQ(dev->SendCmdAndGetResponse("0025,1,\r", reply), -1);  // not a code of this device
    EXPECT_EQ(dev->SendCmdAndGetResponse(nullptr, reply), -1);
    EXPECT_THROW(dev->SendCmdAndGetResponse("00x5,1,\r", reply), std::invalid_argument);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(reply, 0);
}

}  // namespace
