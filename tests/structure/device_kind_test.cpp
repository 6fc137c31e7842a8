// Device kind from the USB description, and the kind table.
#include <gtest/gtest.h>

#include <string>

#include "uGlobalDev.h"

TEST(DeviceKind, RecognizedByFirstMatchingRule) {
    const struct { const char* description; uint8_t kind; } cases[] = {
        {"Zelto5 Radio Master", 4},
        {"USB Serial Converter", 4},
        {"Zelto5 Desk-Port", 5},
        {"Zelto5 Desk Port", 5},
        {"Zelto5 Starter-Port", 11},
        {"Zelto5 Starter-Port B", 5},
        {" Zelto5 Starter-Port", 5},
        {"Zelto5 Field-Port", 2},
        {"Timer 6-2 71304.52", 6},
        {"Universal Counter 52817.30", 7},
        {"Speed of Light Meter 38410.00", 8},
        {"Function Generator 60275.44", 9},
        {"X-Ray 27739.15", 10},
        {"Zelto5 X-Ray 27739.15 rev 2", 10},
        // The order of the rules decides between several matches.
        {"Zelto5 Field-Port Serial", 4},
        {"Zelto5 Desk-Port Zelto5 Radio Master", 4},
        {"Zelto5 Field-Port Zelto5 Desk-Port", 5},
        {"Zelto5 Starter-Port Timer 6-2 71304.52", 5},
        {"X-Ray 27739.15 Function Generator 60275.44", 9},
        // Case-sensitive; near misses match nothing.
        {"zelto5 radio master", 0},
        {"SERIAL", 0},
        {"Zelto5 DeskPort", 0},
        {"Timer 6-2", 0},
        {"X-Ray 27739.1", 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(RecognizeDeviceKind(c.description), c.kind) << '"' << c.description << '"';
}

TEST(DeviceKind, TableGivesClassTypAndName) {
    const struct { uint8_t kind; TDeviceClass cls; int32_t typ; const char16_t* name; } cases[] = {
        {2, TDeviceClass::DLU, 3, u"DLU"},         {4, TDeviceClass::RTUU, 2, u"RTUU"},
        {5, TDeviceClass::DUU, 5, u"DUU"},         {6, TDeviceClass::Timer62, 8, u"TIMER62"},
        {7, TDeviceClass::UNIZ, 7, u"UNIZ"},       {8, TDeviceClass::LIGHTSPEED, 6, u"SOL"},
        {9, TDeviceClass::DDS, 10, u"DDS"},        {10, TDeviceClass::XRAY, 10, u"DDS"},
        {11, TDeviceClass::DUU, 5, u"DUU"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.kind));
        const TDeviceKindInfo* info = FindDeviceKind(c.kind);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->Kind, c.kind);
        EXPECT_EQ(info->Class, c.cls);
        EXPECT_EQ(info->Typ, c.typ);
        EXPECT_EQ(info->Name, c.name);
    }
    for (uint8_t none : {0, 1, 3, 12, 255}) EXPECT_EQ(FindDeviceKind(none), nullptr) << int(none);
    // Every kind a description can select is in the table.
    for (const auto& rule : DescriptionRules) {
        EXPECT_NE(FindDeviceKind(rule.Kind), nullptr);
        if (!rule.Exactly.empty()) {
            EXPECT_NE(FindDeviceKind(rule.ExactKind), nullptr);
        }
    }
}
