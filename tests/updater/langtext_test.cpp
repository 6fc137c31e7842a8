#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "global.h"

namespace {

QByteArray Utf16Le(const QString& text, bool mark = true) {
    QByteArray out = mark ? QByteArray("\xFF\xFE", 2) : QByteArray();
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

class LanguageText : public ::testing::Test {
protected:
    void SetUp() override {
        savedExeDir = ExeDir;
        ExeDir = dir.path() + u'/';
    }
    void TearDown() override { ExeDir = savedExeDir; }
    void Put(const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QString Get(int32_t id, int32_t language, const QString& start = QStringLiteral("<unchanged>")) {
        QString text = start;
        GetLanguageText(id, language, text);
        return text;
    }
    QTemporaryDir dir;
    QString savedExeDir;
};

}  // namespace

TEST_F(LanguageText, EntriesOfAFile) {
    Put("Z5update.de",
        Utf16Le(QStringLiteral("_7,40>Gerät\r\n"
                               "_5,100>Erster\r\n"
                               "_5,100>Zweiter\r\n"
                               "_12,5>Statusanzeige\r\n"
                               "_20,200>Zeile eins\\nZeile zwei\\n\r\n"
                               "_21,0>nichts\r\n"
                               "_22,-3>nichts\r\n"
                               "_3,100>bis zum CR\r\n"
                               "Text ohne Eintrag, 99,5>x\r\n"
                               "_30,1000>ohne Zeilenende")));
    const std::pair<int32_t, const char16_t*> cases[] = {
        {7, u"Gerät"},
        {5, u"Erster"},                            // first entry wins
        {12, u"Statu"},                            // maxlen cuts
        {3, u"bis zum CR"},                        // shorter than maxlen: up to the CR
        {20, u"Zeile eins\r\nZeile zwei\r\n"},     // "\n" becomes CR LF
        {21, u""},                                 // maxlen 0
        {22, u""},                                 // negative maxlen
        {30, u"ohne Zeilenende"},                  // maxlen beyond the end of the text
        {99, u"<unchanged>"},                      // no "_" before it: not an entry
        {4, u"<unchanged>"},                       // missing id leaves the text
    };
    for (const auto& [id, expected] : cases) {
        SCOPED_TRACE(id);
        EXPECT_EQ(Get(id, 0), QString::fromUtf16(expected));
    }
}

// What the file format leaves open: the lookup skips malformed entries and never
// reads past the end of the text.
TEST(LanguageTextScan, MalformedEntries) {
    struct Case {
        const char16_t* text;
        int32_t id;
        const char16_t* expected;  // nullptr: not found
    };
    const Case cases[] = {
        {u"_5", 5, nullptr},                       // no ","
        {u"_5,", 5, nullptr},                      // no ">"
        {u"_5,10", 5, nullptr},
        {u"_5,10>", 5, u""},                       // text ends right after ">"
        {u"_", 5, nullptr},
        {u"__5,3>abc", 5, u"abc"},                 // "_" then "_5"
        {u"_x,3>bad\r\n_5,3>abc", 5, u"abc"},      // id not a number
        {u"_5,abc>bad\r\n_5,3>abc", 5, u"abc"},    // maxlen not a number: the next entry counts
        {u"_5,99999999999>x\r\n_5,1>y", 5, u"y"},  // maxlen overflows
        {u"_5\r\n_6,3>abc", 6, u"abc"},            // "," only in a later line
        {u"_6,3>a_b\r\n", 6, u"a_b"},
        {u"_ 5,3>abc", 5, u"abc"},                 // leading blank of a number
        {u"_5,3>ab\\", 5, u"ab\\"},                // lone backslash at the end
        {u"_5,3>a\\nb", 5, u"a\r\n"},              // maxlen counts before the replacement
        {u"_2147483648,3>x", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString::fromUtf16(c.text).toStdString());
        QString text = QStringLiteral("<unchanged>");
        const bool found = FindLanguageText(QString::fromUtf16(c.text), c.id, text);
        EXPECT_EQ(found, c.expected != nullptr);
        EXPECT_EQ(text, c.expected ? QString::fromUtf16(c.expected) : QStringLiteral("<unchanged>"));
    }
}

TEST_F(LanguageText, FallbackToEnglish) {
    // Shipped as "Z5update.uk"; the fallback asks for "Z5Update.uk".
    Put("Z5update.uk", Utf16Le(QStringLiteral("_18,80>No device connected\r\n")));
    Put("Z5update.ru", Utf16Le(QStringLiteral("_18,80>Устройство не подключено\r\n")));
    EXPECT_EQ(Get(18, 3), u"Устройство не подключено");
    ASSERT_TRUE(QFile::remove(dir.filePath("Z5update.ru")));
    EXPECT_EQ(Get(18, 3), u"No device connected");
    EXPECT_EQ(Get(18, 24), u"No device connected");
    EXPECT_EQ(Get(18, -1), u"No device connected");
    EXPECT_EQ(Get(18, 1), u"No device connected");
    EXPECT_STREQ(LanguageSuffix(24), "uk");
    EXPECT_STREQ(LanguageSuffix(-1), "uk");
    EXPECT_STREQ(LanguageSuffix(13), "ukr");
    EXPECT_STREQ(LanguageSuffix(20), "grc");

    ASSERT_TRUE(QFile::remove(dir.filePath("Z5update.uk")));
    QString text = QStringLiteral("kept");
    EXPECT_THROW(GetLanguageText(18, 3, text), TFileError);
    EXPECT_EQ(text, u"kept");
}

TEST_F(LanguageText, FileIsReadOnEveryCallAndOnlyAsUtf16) {
    Put("Z5update.fr", Utf16Le(QStringLiteral("_15,30>Mettre à jour\r\n")));
    EXPECT_EQ(Get(15, 6), u"Mettre à jour");
    Put("Z5update.fr", Utf16Le(QStringLiteral("_15,30>Actualiser\r\n")));
    EXPECT_EQ(Get(15, 6), u"Actualiser");
    Put("Z5update.fr", Utf16Le(QStringLiteral("_15,30>Sans marque\r\n"), false));
    EXPECT_EQ(Get(15, 6), u"Sans marque");
    // A file stored as UTF-8 yields no texts.
    Put("Z5update.fr", QStringLiteral("\xEF\xBB\xBF_15,30>Mettre à jour\r\n").toUtf8());
    EXPECT_EQ(Get(15, 6), u"<unchanged>");
}

// A text the chosen language's file does not hold comes from the English file; a
// file that holds no texts at all is named for the report.
TEST_F(LanguageText, MissingTextsComeFromEnglish) {
    Put("Z5update.uk", Utf16Le(QStringLiteral("_15,30>Update\r\n_16,30>Exit\r\n")));
    const QString german = dir.filePath("Z5update.de");
    struct Case {
        const char* what;
        QByteArray bytes;
        const char16_t* text15;
        const char16_t* text16;
        bool withoutTexts;
    };
    const Case cases[] = {
        {"some texts", Utf16Le(QStringLiteral("_15,30>Aktualisieren\r\n")), u"Aktualisieren", u"Exit", false},
        {"empty", QByteArray(), u"Update", u"Exit", true},
        {"garbage", QByteArray("\x13\x9C\xF0_,>\x01\xFF\xFE\x7F", 11), u"Update", u"Exit", true},
        {"UTF-8", QStringLiteral("\xEF\xBB\xBF_15,30>Aktualisieren\r\n").toUtf8(), u"Update", u"Exit", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Put("Z5update.de", c.bytes);
        EXPECT_EQ(Get(15, 0), QString::fromUtf16(c.text15));
        EXPECT_EQ(Get(16, 0), QString::fromUtf16(c.text16));
        EXPECT_EQ(Get(17, 0), u"<unchanged>");
        EXPECT_EQ(LanguageFilesWithoutTexts(0), c.withoutTexts ? QStringList{german} : QStringList{});
    }
    // The English file itself without texts.
    Put("Z5update.uk", QByteArray("garbage"));
    EXPECT_EQ(LanguageFilesWithoutTexts(1), QStringList{dir.filePath("Z5update.uk")});
    EXPECT_EQ(LanguageFilesWithoutTexts(0).size(), 2);
}
