// The logger's file list, headers and downloads against a simulated logger.
#include <gtest/gtest.h>

#include "dlu_support.h"
#include "z5sim_fault.h"

using dlu_test::Bytes;
using dlu_test::Logger;
using dlu_test::Records;
using dlu_test::Request;
using dlu_test::Str;
using z5sim::DataLogger;
using z5sim::Fault;

namespace {

Bytes NameRequest(char cmd, const std::string& name) {
    Bytes f{0x7D, 0x0B, static_cast<uint8_t>(cmd), 0xFE, 0xFF};
    for (char c : name) f.push_back(static_cast<uint8_t>(c));
    f.push_back(0x7E);
    return f;
}

DataLogger::File MakeFile(std::string name, int32_t size, DataLogger::Header header) {
    DataLogger::File f;
    f.name = std::move(name);
    f.size = size;
    f.header = DataLogger::HeaderText(header);
    return f;
}

const DataLogger::Header kTwoChannels{"Lab 3", "Run A", 2, "", 0, {"T1", "U1"}, {"air", "cell"}, {"^C", "V"},
                                      {{"1,5", "-2"}, {"0,25", "100"}}};

class LoggerFiles : public Logger {
protected:
    // Runs a download of file 0 and takes its measurements.
    struct Sample {
        int64_t time;
        std::vector<int32_t> values;
        bool operator==(const Sample&) const = default;
    };
    std::vector<Sample> Download(Records& records, int32_t index, size_t lines, int32_t channels) {
        std::vector<Sample> out;
        EXPECT_EQ(dlu->GetDLUValues(records.data(), index), 0);
        EXPECT_TRUE(WaitForMeasurements(static_cast<int64_t>(lines)));
        for (size_t i = 0; i < lines; ++i) {
            Sample s{-1, std::vector<int32_t>(static_cast<size_t>(channels), -99)};
            EXPECT_EQ(dlu->GetSensorDLU()->ReadRawMeasurement(&s.time, channels, s.values.data()), 0);
            out.push_back(s);
        }
        return out;
    }
};

}  // namespace

TEST_F(LoggerFiles, FileListWithEveryHeaderField) {
    DataLogger::Header typed0{"Lab 3", "", 0, "0250", 7, {"A"}, {"B"}, {"mV"}, {{"1e2", "0"}}};
    DataLogger::Header typed3 = typed0;
    typed3.type = 3;
    typed3.typeNumber = "1234";
    typed3.typeDigit = 1;
    DataLogger::Header spaced = kTwoChannels;
    spaced.line1 = " starts with a space";
    sim->SetFiles({MakeFile("08031501", 1234, kTwoChannels), MakeFile("08031502", 567, typed0),
                   MakeFile("09120103", 0, spaced), MakeFile("10010199", 7, typed3)});
    Records records;
    ASSERT_EQ(dlu->GetDLUFileData(records.data()), 4);

    const std::vector<Bytes> expected = {Request('T'), NameRequest('U', "08031501"), NameRequest('U', "08031502"),
                                         NameRequest('U', "09120103"), NameRequest('U', "10010199")};
    EXPECT_EQ(Frames(), expected);

    const TDLUFileInfo& a = records[0];
    EXPECT_EQ(Str(a.Name), "08031501");
    EXPECT_EQ(a.Size, 1234);
    EXPECT_EQ(Str(a.Date), "15.03.08");
    EXPECT_EQ(a.Valid, 1);
    EXPECT_EQ(Str(a.Line1), "Lab 3");
    EXPECT_EQ(Str(a.Line2), "Run A");
    EXPECT_EQ(a.FileType, 2);
    EXPECT_EQ(a.TypeNumber, 0);  // not written for type 2
    EXPECT_EQ(a.TypeDigit, 0);
    ASSERT_EQ(a.ChannelCount, 2);
    EXPECT_EQ(Str(a.ChannelText1[0]), "T1");
    EXPECT_EQ(Str(a.ChannelText1[1]), "U1");
    EXPECT_EQ(Str(a.ChannelText2[0]), "air");
    EXPECT_EQ(Str(a.ChannelText2[1]), "cell");
    EXPECT_EQ(Str(a.ChannelUnit[0]), "\xB0""C");
    EXPECT_EQ(Str(a.ChannelUnit[1]), "V");
    EXPECT_FLOAT_EQ(a.ChannelValue1[0], 1.5f);
    EXPECT_FLOAT_EQ(a.ChannelValue2[0], -2.0f);
    EXPECT_FLOAT_EQ(a.ChannelValue1[1], 0.25f);
    EXPECT_FLOAT_EQ(a.ChannelValue2[1], 100.0f);
    EXPECT_EQ(a.ChannelText1[2], nullptr);  // only ChannelCount entries

    const TDLUFileInfo& b = records[1];
    EXPECT_EQ(b.Size, 567);
    EXPECT_EQ(b.FileType, 0);
    EXPECT_EQ(b.TypeNumber, 250);
    EXPECT_EQ(b.TypeDigit, 7);
    EXPECT_EQ(b.ChannelCount, 1);
    EXPECT_EQ(Str(b.Line2), "");
    EXPECT_FLOAT_EQ(b.ChannelValue1[0], 100.0f);

    const TDLUFileInfo& c = records[2];
    EXPECT_EQ(Str(c.Date), "01.12.09");
    EXPECT_EQ(c.Valid, 0);
    EXPECT_EQ(Str(c.Line1), "");
    EXPECT_EQ(c.Line2, nullptr);
    EXPECT_EQ(c.ChannelCount, 0);

    const TDLUFileInfo& d = records[3];
    EXPECT_EQ(d.Valid, 1);
    EXPECT_EQ(d.FileType, 3);
    EXPECT_EQ(d.TypeNumber, 1234);
    EXPECT_EQ(d.TypeDigit, 1);

    EXPECT_EQ(records[4].Name, nullptr);

    // The same records again: the texts are replaced, not leaked or doubled.
    sim->SetFiles({MakeFile("08031509", 1, kTwoChannels)});
    ASSERT_EQ(dlu->GetDLUFileData(records.data()), 1);
    EXPECT_EQ(Str(records[0].Name), "08031509");
    EXPECT_EQ(Str(records[1].Name), "08031502");  // not written this time
}

TEST_F(LoggerFiles, SilentHeaderMarksOnlyItsRecord) {
    sim->SetFiles({MakeFile("08031501", 1, kTwoChannels), MakeFile("08031502", 2, kTwoChannels)});
    sim->PushFault(Fault::NoAnswer().OnCommand('U'));
    Records records;
    ASSERT_EQ(dlu->GetDLUFileData(records.data()), 2);
    EXPECT_EQ(records[0].Valid, 0);
    EXPECT_EQ(Str(records[0].Line1), "");
    EXPECT_EQ(records[1].Valid, 1);
    EXPECT_EQ(Str(records[1].Line1), "Lab 3");
}

TEST_F(LoggerFiles, RefusedSilentOrBrokenDirectory) {
    struct Case {
        const char* name;
        std::vector<Fault> faults;
        std::string directory;
        int32_t result;
        const char* firstName;
    };
    const std::vector<Case> cases = {
        {"refused with code 2", {Fault::Refuse(2).OnCommand('T')}, "", -1, nullptr},
        {"silent", {Fault::NoAnswer().OnCommand('T')}, "", 0, nullptr},
        {"no entry at all", {}, std::string("\0(5)\r\n", 6), 0, nullptr},
        {"a size that is no number", {}, "08031501(12)\r\n08031502(1-2)\r\n", -1, "08031501"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim->SetFiles({MakeFile("08031501", 1, kTwoChannels)});
        sim->SetDirectoryText(c.directory);
        for (const auto& f : c.faults) sim->PushFault(f);
        Records records;
        EXPECT_EQ(dlu->GetDLUFileData(records.data()), c.result);
        EXPECT_EQ(Str(records[0].Name), Str(c.firstName));
        EXPECT_EQ(records[0].Valid, 0);  // no header was read
        EXPECT_EQ(Frames(), std::vector<Bytes>{Request('T')});
    }
}

TEST_F(LoggerFiles, DirectoryStopsAt201Entries) {
    // 201 unanswered header requests cost a read time-out each: once the directory
    // has been answered (the first header request is there), protocol time runs faster.
    std::thread faster([this] {
        sim->WaitForMessages(2, std::chrono::seconds(30));
        z5::SetTimeScale(0.05);
    });
    std::vector<DataLogger::File> files;
    for (int i = 0; i < 250; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "0801%04d", i);
        files.push_back({name, i, "", "", 0, "", {}});
    }
    sim->SetDirectoryText(DataLogger::DirectoryText(files));
    Records records(TOVAMOD_DLU_MAX_FILES + 2);
    EXPECT_EQ(dlu->GetDLUFileData(records.data()), 201);
    EXPECT_EQ(Str(records[200].Name), "08010200");
    EXPECT_EQ(records[200].Size, 200);
    EXPECT_EQ(records[201].Name, nullptr);
    EXPECT_EQ(records[201].Size, 0);
    faster.join();
    // The last request is the header of entry 200. (At this pace a purge before a
    // request may drop the one before it, unread by the simulator yet, so the
    // requests are not counted one by one.)
    const auto frames = Frames();
    EXPECT_LE(frames.size(), 202u);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back(), NameRequest('U', "08010200"));
}

TEST_F(LoggerFiles, SecondDownloadStartsFromTheTop) {
    DataLogger::File a = MakeFile("08031501", 1, kTwoChannels);
    a.lines = {{"", {"1", "1"}}, {"", {"2", "2"}}};
    DataLogger::File b = MakeFile("08031502", 2, kTwoChannels);
    b.interval = "0010";
    b.lines = {{"", {"7", "8"}}};
    sim->SetFiles({a, b});
    Records records;
    ASSERT_EQ(dlu->GetDLUFileData(records.data()), 2);
    auto first = Download(records, 0, 2, 2);
    auto second = Download(records, 1, 1, 2);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].time, 0);
    EXPECT_EQ(second[0].values, (std::vector<int32_t>{7000, 8000}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // nothing else arrives
    EXPECT_EQ(dlu->GetSensorDLU()->GetNumMeasureAvailable(), 0);
}

TEST_F(LoggerFiles, DownloadRefusesARecordOutsideTheDirectory) {
    Records records;
    EXPECT_EQ(dlu->GetDLUValues(nullptr, 0), -1);
    EXPECT_EQ(dlu->GetDLUValues(records.data(), -1), -1);
    EXPECT_EQ(dlu->GetDLUValues(records.data(), TOVAMOD_DLU_MAX_FILES), -1);
    EXPECT_FALSE(dlu->GetFtdiDevice()->ThreadsRunning());
    EXPECT_TRUE(sim->ReceivedBytes().empty());
    EXPECT_EQ(dlu->GetDLUFileData(nullptr), -1);
}

TEST_F(LoggerFiles, DestructionStopsClosesAndFrees) {
    // A running download and queued measurements go with the object.
    DataLogger::File f;
    f.name = "08031501";
    f.size = 10;
    f.header = DataLogger::HeaderText({"Run", "", 2, "", 0, {"a"}, {"b"}, {"V"}, {{"1", "2"}}});
    f.lines = {{"", {"1"}}, {"", {"2"}}};
    sim->SetFiles({f});
    Records records;
    ASSERT_EQ(dlu->GetDLUFileData(records.data()), 1);
    ASSERT_EQ(dlu->GetDLUValues(records.data(), 0), 0);
    ASSERT_TRUE(WaitForMeasurements(2));
    EXPECT_TRUE(dlu->GetFtdiDevice()->ThreadsRunning());
    sim->ClearReceived();

    z5::SetTimeScale(0.05);
    dlu.reset();
    // The simulator takes the request on its own thread.
    sim->WaitForMessages(1, std::chrono::seconds(10));
    EXPECT_EQ(sim->ReceivedFrames(), std::vector<Bytes>{Request('S')});
    // The line was closed: another object opens it.
    TDLU again;
    again.SetSerialNo("FP1");
    EXPECT_EQ(again.OpenDevice(921600, 0), 0);
}
