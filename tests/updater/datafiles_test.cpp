// The shipped data files: every language file holds every text the program
// uses, the language list names all languages, and the setup file offers
// firmware with existing part files for every device type.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <set>
#include <string>

#include "configfile.h"
#include "global.h"

namespace {

const QString DataDir = QStringLiteral(KAVREL_DATA_DIR);

// Text ids the program fetches.
const int32_t TextIds[] = {1,  2,  3,  5,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 18, 20, 21, 22,
                           23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40,
                           41, 42, 43, 44, 45, 46, 47, 48, 49};

// First and last code point of the script a language is written in, where it
// is not Latin.
struct Script {
    int32_t language;
    char16_t first, last;
};
const Script Scripts[] = {{3, 0x0400, 0x04FF},  {5, 0x0600, 0x06FF},  {10, 0x0400, 0x04FF},
                          {13, 0x0400, 0x04FF}, {17, 0x0400, 0x04FF}, {20, 0x0370, 0x03FF},
                          {23, 0xAC00, 0xD7A3}};

class DataFiles : public ::testing::Test {
protected:
    void SetUp() override {
        saved = ExeDir;
        ExeDir = DataDir;
    }
    void TearDown() override { ExeDir = saved; }
    static QString Text(int32_t id, int32_t language) {
        QString text = QStringLiteral("<missing>");
        GetLanguageText(id, language, text);
        return text;
    }
    QString saved;
};

}  // namespace

TEST_F(DataFiles, EveryLanguageFileHoldsEveryText) {
    for (int32_t language = 0; language < LanguageCount; ++language) {
        const QString name = QStringLiteral("Z5update.") + QLatin1String(LanguageSuffix(language));
        SCOPED_TRACE(name.toStdString());
        QFile file(DataDir + name);  // under its exact name, not by the fallback
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(2) == "\xFF\xFE");

        int sameAsEnglish = 0;
        bool inScript = false;
        for (int32_t id : TextIds) {
            SCOPED_TRACE(id);
            const QString text = Text(id, language);
            EXPECT_NE(text, u"<missing>");
            EXPECT_FALSE(text.trimmed().isEmpty());
            EXPECT_FALSE(text.contains(u'\r') && !text.contains(QStringLiteral("\r\n")));
            if (language != 1 && text == Text(id, 1)) ++sameAsEnglish;
            for (const Script& s : Scripts) {
                if (s.language != language) continue;
                for (QChar c : text) inScript |= c.unicode() >= s.first && c.unicode() <= s.last;
            }
        }
        if (language != 1) {
            EXPECT_LE(sameAsEnglish, 3);  // "Status:", "Info:" and the like at most
        }
        // The lines put together from texts have one blank between their words.
        for (const QString& line : {Text(36, language) + " 1" + Text(27, language) + " 3",
                                    Text(26, language) + " 1" + Text(27, language) + " 3 " + Text(28, language)})
            EXPECT_FALSE(line.contains(QStringLiteral("  "))) << line.toStdString();
        for (const Script& s : Scripts) {
            if (s.language == language) {
                EXPECT_TRUE(inScript);
            }
        }
    }
    EXPECT_TRUE(Text(20, 1).contains(QStringLiteral("\r\n")));
    EXPECT_TRUE(Text(27, 1).startsWith(u' '));
}

TEST_F(DataFiles, LanguageListNamesAllLanguages) {
    QTemporaryDir dir;  // on a copy: opening may write to the file
    const QString copy = dir.filePath("z5lang.cfg");
    ASSERT_TRUE(QFile::copy(DataDir + "z5lang.cfg", copy));
    TConfigfile cfg(copy);
    std::set<QString> names;
    for (int k = 1; k <= LanguageCount; ++k) {
        const QString name = cfg.ReadText("Sprachen", QStringLiteral("Lang%1").arg(k), "");
        EXPECT_FALSE(name.isEmpty()) << k;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), size_t(LanguageCount));
    EXPECT_EQ(cfg.ReadText("Sprachen", "Lang14", ""), u"Українська");
    EXPECT_EQ(cfg.ReadNumber("Einstellungen", "Sprache", -1), 1);
    cfg.WriteNumber("Einstellungen", "Sprache", 6);
    EXPECT_EQ(cfg.ReadNumber("Einstellungen", "Sprache", -1), 6);
    EXPECT_EQ(cfg.ReadText("Sprachen", "Lang24", ""), u"한국어");
}

TEST_F(DataFiles, SetupFileOffersFirmwareForEveryType) {
    QTemporaryDir dir;
    const QString copy = dir.filePath("z5setup.cfg");
    ASSERT_TRUE(QFile::copy(DataDir + "z5setup.cfg", copy));
    TConfigfile cfg(copy);
    for (const char* type : {"RTUU", "RTCU", "RCU", "DUU", "ST", "DLU", "LIGHTSPEED", "UNIZ", "TIMER62", "DDS",
                             "XRAY"}) {
        SCOPED_TRACE(type);
        EXPECT_GT(cfg.ReadNumber(type, "Firmwarenumber", -1), 256);
        const int32_t parts = cfg.ReadNumber(type, "MaxFilenames", -1);
        EXPECT_GE(parts, 1);
        EXPECT_LE(parts, 5);
        for (int i = 1; i <= parts; ++i) {
            const QFileInfo part(DataDir + cfg.ReadText(type, QStringLiteral("Filename%1").arg(i), ""));
            EXPECT_TRUE(part.isFile()) << part.filePath().toStdString();
            EXPECT_GT(part.size(), 1000);
            EXPECT_LE(part.size(), 100000);
        }
        EXPECT_GE(cfg.ReadNumber(type, "Devicetyp", -1), 0);
        const int32_t hardware = cfg.ReadNumber(type, "Hardwarenumbers", -1);
        EXPECT_GE(hardware, 1);
        for (int j = 1; j <= hardware; ++j)
            EXPECT_GE(cfg.ReadNumber(type, QStringLiteral("HardwareVersion%1").arg(j), -1), 0);
    }
    EXPECT_EQ(cfg.ReadNumber("RTUU", "MaxFilenames", 0), 3);
}
