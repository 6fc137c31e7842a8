// The shared library exports exactly the names of its export table.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// By ordinal: entry k is the export with ordinal k + 1.
const std::array<std::string, 50> kExportTable = {
    "tovamod_init", "tovamod_uninit", "tovamod_DisplayTracer", "tovamod_GetNthAvailableDevice",
    "tovamod_GetNumberOfAvailableDevice", "tovamod_OpenDevice", "tovamod_CloseDevice", "tovamod_OpenSensor",
    "tovamod_CloseSensor", "tovamod_getProcessData", "tovamod_Device_SendCmdAndGetResponse",
    "tovamod_Sensor_SetSamplePeriode", "tovamod_Sensor_GetNumMeasureAvailable", "tovamod_Sensor_ReadRawMeasurement",
    "tovamod_Sensor_ReadLatestMeasurement", "tovamod_Sensor_SetRtcuParam", "tovamod_Sensor_GetRtcuParam",
    "tovamod_Device_SetRTUUParam", "tovamod_Device_GetRTUUParam", "tovamod_Sensor_SetEEPROMData",
    "tovamod_Sensor_GetSUParam", "tovamod_Sensor_GetName", "tovamod_Sensor_GetEEPROMData",
    "tovamod_Sensor_GetEEPROMDataCal", "tovamod_Sensor_GetEEPROMDataTrim", "tovamod_Sensor_SetEEPROMDataCal",
    "tovamod_Sensor_SetEEPROMDataTrim", "tovamod_Sensor_GetRTCUParams", "tovamod_Device_GetRTUUParams",
    "tovamod_Device_GetVersion", "tovamod_Device_GetDLUFileData", "tovamod_Device_GetDLUValues",
    "tovamod_DeactivateDevicesIdentification", "tovamod_ActivateDevicesIdentification", "tovamod_Sensor_SetRange",
    "tovamod_Sensor_GetRange", "tovamod_Device_Update_Start", "tovamod_Device_Update_Finish",
    "tovamod_Device_Update", "tovamod_GetHardwareStructure", "tovamod_SetHardwareStructureProcessed",
    "tovamod_GetRefreshingRecordStructure", "tovamod_DevicesInMeasureMode", "tovamod_Sensor_SetCommand",
    "tovamod_GetZ5NetsFileStructure", "tovamod_SetZ5NetsFileStructure", "tovamod_Sensor_GetRtcuMACExtAddr",
    "tovamod_Device_GetMACExtAddr", "tovamod_GetDescriptionActiveNet", "tovamod_Sensor_SetValueToZero",
};

// Defined dynamic symbols of the library.
std::set<std::string> DynamicSymbols() {
    std::set<std::string> names;
    FILE* nm = popen("nm -D --defined-only '" TOVAMOD_LIBRARY "'", "r");
    if (!nm) return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        std::istringstream in(line);
        std::string address, type, name;
        if (!(in >> address >> type >> name)) continue;
        names.insert(name.substr(0, name.find('@')));
    }
    EXPECT_EQ(pclose(nm), 0);
    return names;
}

TEST(Symbols, ExactlyTheExportTableIsExported) {
    const std::set<std::string> symbols = DynamicSymbols();
    const std::set<std::string> table(kExportTable.begin(), kExportTable.end());
    ASSERT_EQ(table.size(), 50u);
    EXPECT_EQ(symbols, table);
}

}  // namespace
