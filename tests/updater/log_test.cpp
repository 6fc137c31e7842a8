#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "global.h"

namespace {

std::tm At(int h, int m, int s) {
    std::tm t{};
    t.tm_hour = h;
    t.tm_min = m;
    t.tm_sec = s;
    return t;
}

const std::string Title = "Zelto5 Update - Version 2.1          Zelto5 device software";
const std::string Rule(Title.size(), '-');

std::string Header(const std::string& typeCode, const std::string& firmware, const std::string& hardware,
                   const std::string& time) {
    return Rule + "\r\n" + Title + "\r\n" + Rule + "\r\n\r\nSupported devices:\r\n\r\n" + typeCode +
           " Firmware version: " + firmware + "\r\n" + typeCode + " Hardware version: " + hardware + "\r\n\r\n" +
           Rule + "\r\n" +
           " Please send this report to the Zelto5 support team if you have\r\n"
           " problems updating your Zelto5 device using this software.\r\n"
           " The latest version of this update software is available\r\n"
           " on the download page of the Zelto5 project.\r\n" +
           Rule + "\r\n\r\nLog file created - " + time + "\r\n";
}

class UpdateLog : public ::testing::Test {
protected:
    void SetUp() override {
        LogEnabled = 1;
        LogOpen = 0;
        LogFileName = dir.filePath("z5upd.log").toStdString();
        ProgramVersion = "2.1";
        TypeCode = "RTUU";
        LogFile.SetClock([this] { return now; });
    }
    void TearDown() override {
        LogEnabled = 1;
        try {
            LogOpen = 1;
            CloseLog();
        } catch (const TFileError&) {
        }
        LogEnabled = 0;
        LogOpen = 0;
        LogFileName.clear();
        TypeCode.clear();
        ProgramVersion.clear();
        LogFile.SetClock(nullptr);
    }
    std::string Contents() const {
        QFile f(QString::fromStdString(LogFileName));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : "<missing>";
    }
    QTemporaryDir dir;
    std::tm now = At(14, 3, 27);
};

}  // namespace

TEST_F(UpdateLog, HeaderAndLinesByteForByte) {
    CreateLog(QStringLiteral("1.9"), QStringLiteral("2"));
    EXPECT_EQ(LogOpen, 1);
    EXPECT_EQ(Contents(), Header("RTUU", "1.9", "2", "14:03:27"));  // flushed without a close
    now = At(9, 5, 0);
    WriteLog("Read MaxParts = 3");
    CloseLog();
    EXPECT_EQ(LogOpen, 0);
    EXPECT_EQ(Contents(), Header("RTUU", "1.9", "2", "14:03:27") + "Read MaxParts = 3 - 09:05:00\r\n");
    EXPECT_EQ(Rule.size(), Title.size());
}

TEST_F(UpdateLog, EachUpdateWritesAFreshLog) {
    CreateLog(QStringLiteral("1.9"), QStringLiteral("2"));
    WriteLog("first update");
    CloseLog();
    WriteLog("after close");  // not open: nothing
    TypeCode = "DLU";
    now = At(23, 59, 59);
    CreateLog(QStringLiteral("1.09"), QStringLiteral("3"));
    WriteLog("second update");
    EXPECT_EQ(Contents(), Header("DLU", "1.09", "3", "23:59:59") + "second update - 23:59:59\r\n");
}

TEST_F(UpdateLog, NothingHappensWhileLoggingIsOff) {
    LogEnabled = 0;
    CreateLog(QStringLiteral("1.0"), QStringLiteral("1"));
    EXPECT_EQ(LogOpen, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(LogFileName)));

    // Switched off while open: lines and the close are skipped, the file stays open.
    LogEnabled = 1;
    CreateLog(QStringLiteral("1.0"), QStringLiteral("1"));
    LogEnabled = 0;
    WriteLog("ignored");
    CloseLog();
    EXPECT_EQ(LogOpen, 1);
    EXPECT_EQ(Contents(), Header("RTUU", "1.0", "1", "14:03:27"));
}

TEST_F(UpdateLog, FailuresReachTheCaller) {
    // A folder that cannot hold the file (a path through a regular file fails for root too).
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const std::string cases[] = {dir.filePath("plain/z5upd.log").toStdString(),
                                 dir.filePath("missing/z5upd.log").toStdString(), ""};
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        LogFileName = path;
        EXPECT_THROW(CreateLog(QStringLiteral("1.0"), QStringLiteral("1")), TFileError);
        EXPECT_EQ(LogOpen, 0);
        EXPECT_NO_THROW(WriteLog("not open"));
    }
    if (QFile::exists("/dev/full")) {  // a full disk: the first flush fails
        LogFileName = "/dev/full";
        EXPECT_THROW(CreateLog(QStringLiteral("1.0"), QStringLiteral("1")), TFileError);
        EXPECT_EQ(LogOpen, 0);
    }
}
