// 64-bit layout of the public records: pointers are 8 bytes, the field order
// of the 32-bit layout stays.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "tovamod.h"

namespace {

void ExpectIncreasing(const std::vector<size_t>& offsets, size_t size) {
    for (size_t i = 1; i < offsets.size(); ++i) EXPECT_LT(offsets[i - 1], offsets[i]) << "field " << i;
    EXPECT_LT(offsets.back(), size);
}

}  // namespace

TEST(Layout64, FieldOrderKept) {
    ExpectIncreasing({offsetof(THardwareStructure, First), offsetof(THardwareStructure, Changed),
                      offsetof(THardwareStructure, RadioMasterPresent), offsetof(THardwareStructure, Reserved1),
                      offsetof(THardwareStructure, ScanTime)},
                     sizeof(THardwareStructure));
    ExpectIncreasing({offsetof(TDeviceStructure, Kind), offsetof(TDeviceStructure, Reserved1),
                      offsetof(TDeviceStructure, Device), offsetof(TDeviceStructure, Active),
                      offsetof(TDeviceStructure, Reserved2), offsetof(TDeviceStructure, SerialNo),
                      offsetof(TDeviceStructure, Sensors), offsetof(TDeviceStructure, Next),
                      offsetof(TDeviceStructure, Prev)},
                     sizeof(TDeviceStructure));
    ExpectIncreasing({offsetof(TSensorStructure, Kind), offsetof(TSensorStructure, Reserved1),
                      offsetof(TSensorStructure, Sensor), offsetof(TSensorStructure, Identity),
                      offsetof(TSensorStructure, Value1), offsetof(TSensorStructure, Value2),
                      offsetof(TSensorStructure, Value3), offsetof(TSensorStructure, Address),
                      offsetof(TSensorStructure, ChannelCount), offsetof(TSensorStructure, Next),
                      offsetof(TSensorStructure, Prev)},
                     sizeof(TSensorStructure));
}

TEST(Layout64, NaturalAlignmentSizes) {
    static_assert(sizeof(void*) == 8);
    EXPECT_EQ(sizeof(THardwareStructure), 16u);
    EXPECT_EQ(sizeof(TDeviceStructure), 56u);
    EXPECT_EQ(offsetof(TDeviceStructure, SerialNo), 24u);
    EXPECT_EQ(sizeof(TSensorStructure), 56u);
    EXPECT_EQ(offsetof(TSensorStructure, Identity), 16u);
    EXPECT_EQ(offsetof(TSensorStructure, Next), 40u);
}
