#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

#include "configfile.h"
#include "textconv.h"

namespace fs = std::filesystem;

namespace {

enum class Enc { Utf16Le, Utf16Be, Utf8Bom, Utf8Plain, Cp1252 };

QByteArray Encode(const QString& text, Enc enc) {
    QByteArray out;
    switch (enc) {
    case Enc::Utf16Le:
    case Enc::Utf16Be: {
        const bool be = enc == Enc::Utf16Be;
        out = be ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
        for (QChar c : text) {
            const char hi = static_cast<char>(c.unicode() >> 8), lo = static_cast<char>(c.unicode() & 0xFF);
            out.append(be ? hi : lo);
            out.append(be ? lo : hi);
        }
        return out;
    }
    case Enc::Utf8Bom:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case Enc::Utf8Plain:
        return text.toUtf8();
    case Enc::Cp1252:
        // The test texts hold only Latin-1 letters and the euro sign.
        for (QChar c : text) out.append(c == u'\u20AC' ? '\x80' : static_cast<char>(c.unicode()));
        return out;
    }
    return out;
}

QByteArray Utf16LeFile(const QStringList& lines) {
    QString text;
    for (const QString& l : lines) text += l + QStringLiteral("\r\n");
    return Encode(text, Enc::Utf16Le);
}

class ConfigFile : public ::testing::Test {
protected:
    QString Path(const char* name = "test.cfg") const { return dir.filePath(QString::fromLatin1(name)); }
    void Put(const QByteArray& bytes, const char* name = "test.cfg") const {
        QFile f(Path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QByteArray Get(const char* name = "test.cfg") const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir dir;
};

}  // namespace

// Every encoding with every line end reads the same values; after a write the
// file is UTF-16 LE with mark and CR LF, and every old value reads back.
TEST_F(ConfigFile, EncodingsAndLineEndsReadAndSurviveASave) {
    struct Case {
        Enc enc;
        const char* name;
        bool wideText;  // can hold characters outside Windows-1252
    };
    const Case encodings[] = {{Enc::Utf16Le, "UTF-16 LE", true},  {Enc::Utf16Be, "UTF-16 BE", true},
                              {Enc::Utf8Bom, "UTF-8 mark", true}, {Enc::Utf8Plain, "UTF-8 plain", true},
                              {Enc::Cp1252, "Windows-1252", false}};
    const std::vector<std::pair<QString, const char*>> lineEnds = {
        {QStringLiteral("\r\n"), "CR LF"}, {QStringLiteral("\r"), "CR"},
        {QStringLiteral("\n"), "LF"},      {QStringLiteral("\u2028"), "U+2028"}};
    for (const Case& c : encodings) {
        for (const auto& [eol, eolName] : lineEnds) {
            if (!c.wideText && eol == u"\u2028") continue;
            SCOPED_TRACE(std::string(c.name) + " / " + eolName);
            const QString name = c.wideText ? QStringLiteral("Ελληνικά") : QStringLiteral("Français €");
            const QStringList lines = {QStringLiteral("[Sprachen]"), QStringLiteral("Lang1=Deutsch"),
                                       QStringLiteral("Lang2=") + name, QStringLiteral("[Einstellungen]"),
                                       QStringLiteral("Sprache=3")};
            Put(Encode(lines.join(eol), c.enc));
            TConfigfile cfg(Path());
            EXPECT_EQ(cfg.ReadText("Sprachen", "Lang2", "?"), name);
            EXPECT_EQ(cfg.ReadNumber("Einstellungen", "Sprache", -1), 3);  // last line, no line end

            cfg.WriteNumber("Einstellungen", "Sprache", 6);
            EXPECT_EQ(Get(), Utf16LeFile({"[Sprachen]", "Lang1=Deutsch", QStringLiteral("Lang2=") + name,
                                          "[Einstellungen]", "Sprache=6"}));
            EXPECT_EQ(cfg.ReadText("Sprachen", "Lang1", "?"), u"Deutsch");
            EXPECT_EQ(cfg.ReadText("Sprachen", "Lang2", "?"), name);
        }
    }
}

TEST_F(ConfigFile, LoadingRules) {
    struct Case {
        const char* name;
        QByteArray bytes;
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"NUL ends the text", QByteArray("[A]\r\nx=1\r\n\0y=2\r\n", 16), "A", "y", "<default>"},
        {"text before NUL still reads", QByteArray("[A]\r\nx=1\0y=2", 12), "A", "x", "1"},
        {"invalid UTF-8 is Windows-1252", QByteArray("[A]\r\nx=caf\xE9 \x80"), "A", "x", "caf\u00E9 \u20AC"},
        {"valid UTF-8 without mark", QByteArray("[A]\r\nx=caf\xC3\xA9"), "A", "x", "caf\u00E9"},
        {"odd byte count of UTF-16 keeps the whole lines", Encode("[A]\nx=1\ny=2", Enc::Utf16Le) + 'Z', "A", "x", "1"},
        {"odd byte count of UTF-16 drops the cut line", Encode("[A]\nx=1\ny=2", Enc::Utf16Le) + 'Z', "A", "y", "<default>"},
        {"empty file", QByteArray(), "A", "x", "<default>"},
        {"only a mark", QByteArray("\xFF\xFE"), "A", "x", "<default>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.bytes);
        TConfigfile cfg(Path());
        EXPECT_EQ(cfg.ReadText(c.section, c.key, "<default>"), QString::fromUtf8(c.expected));
    }
}

TEST(ConfigText, LineEnds) {
    const std::pair<const char16_t*, QStringList> cases[] = {
        {u"", {}},
        {u"a", {"a"}},
        {u"a\r\n", {"a"}},
        {u"a\r\n\r\n", {"a", ""}},
        {u"\r\n", {""}},
        {u"a\rb\nc\u2028d\r\ne", {"a", "b", "c", "d", "e"}},
        {u"a\n\rb", {"a", "", "b"}},  // LF CR is two line ends
        {u"a\r\r\nb", {"a", "", "b"}},
    };
    for (const auto& [text, lines] : cases) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(SplitLines(QString::fromUtf16(text)), lines);
        EXPECT_EQ(SplitLines(DecodeFileText(EncodeUtf16LeLines(lines))), lines);  // save and load agree
    }
}

// UTF-16 is read as far as it decodes cleanly; what follows a lost or added byte
// is shifted and must not be taken for text.
TEST(ConfigText, Utf16IsReadAsFarAsItIsClean) {
    const QByteArray good = Encode("[A]\r\nx=1\r\ny=2\r\n", Enc::Utf16Le);
    const qsizetype y = good.indexOf(QByteArray("y\0", 2));
    struct Case {
        const char* what;
        QByteArray bytes;
        const char16_t* text;
        bool whole;
    };
    const Case cases[] = {
        {"clean", good, u"[A]\r\nx=1\r\ny=2\r\n", true},
        {"stray NUL byte between characters", good.left(y) + '\0' + good.mid(y), u"[A]\r\nx=1\r\n", false},
        {"stray NUL byte inside a character", good.left(y + 1) + '\0' + good.mid(y + 1), u"[A]\r\nx=1\r\n", false},
        {"cut inside the last character", good.left(good.size() - 1), u"[A]\r\nx=1\r\ny=2\r", false},
        {"stray byte in big-endian text", Encode("[A]\nx=1\ny=2\n", Enc::Utf16Be).insert(18, '\0'), u"[A]\nx=1\n", false},
        {"surrogate pair", Encode(QString::fromUtf16(u"x=\U0001F600\r\n"), Enc::Utf16Le), u"x=\U0001F600\r\n", true},
        {"lone high surrogate", Encode(QString::fromUtf16(u"x=1\r\ny=\xD83D!"), Enc::Utf16Le), u"x=1\r\ny=", false},
        {"lone low surrogate", Encode(QString::fromUtf16(u"x=1\r\ny=\xDE00"), Enc::Utf16Le), u"x=1\r\ny=", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool whole = !c.whole;
        EXPECT_EQ(DecodeFileText(c.bytes, &whole), QString::fromUtf16(c.text));
        EXPECT_EQ(whole, c.whole);
    }
}

// A file that was read only in part is never saved over the whole.
TEST_F(ConfigFile, TextReadInPartIsNotSaved) {
    const QByteArray good = Utf16LeFile({"[A]", "x=1", "[B]", "y=2"});
    const QByteArray bad = good.left(22) + '\0' + good.mid(22);  // before "[B]"
    Put(bad);
    TConfigfile cfg(Path());
    EXPECT_EQ(cfg.ReadText("A", "x", "<default>"), "1");
    EXPECT_EQ(cfg.ReadText("B", "y", "<default>"), "<default>");
    try {
        cfg.WriteNumber("A", "x", 5);
        ADD_FAILURE() << "saved";
    } catch (const TFileError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(Path())) << e.what();
    }
    EXPECT_EQ(Get(), bad);
}

TEST_F(ConfigFile, SectionAndKeyRules) {
    Put(Utf16LeFile({
        "x=before any header",
        "[A]",
        "x=1",
        "[B]",
        "y=2",
        " [DLU] ",
        "FIRMWARENUMBER=300",
        "Firmwarenumber=400",
        "Hardware =7",
        "value= a = b ",
        "empty=",
        "[dlu]",
        "lower=1",
        "[Ä]",
        "ä=1",
    }));
    TConfigfile cfg(Path());
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"A", "x", "1"},
        {"A", "y", "<d>"},                // only in B
        {"B", "x", "<d>"},                // only in A, and before any header
        {"DLU", "Firmwarenumber", "300"}, // keys ignore case; first line wins
        {"DLU", "Hardware", "<d>"},       // the blank belongs to the key
        {"DLU", "Hardware ", "7"},
        {"DLU", "value", " a = b "},      // untrimmed, further "=" belong to the value
        {"DLU", "empty", ""},
        {"DLU", "lower", "<d>"},          // [dlu] is another section
        {"dlu", "lower", "1"},
        {"Ä", "Ä", "<d>"},                // only A-Z fold
        {"Ä", "ä", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(cfg.ReadText(QString::fromUtf8(c.section), QString::fromUtf8(c.key), "<d>"),
                  QString::fromUtf8(c.expected));
    }
    EXPECT_EQ(cfg.ReadNumber("DLU", "empty", 256), 256);
}

TEST_F(ConfigFile, ReadNumberTakesOnlyDecimalIntegers) {
    const std::pair<const char*, int32_t> cases[] = {
        {"300", 300},          {"-5", -5},          {"+7", 7},          {"  42", 42},
        {"42 ", -1},           {"", -1},            {"abc", -1},        {"12abc", -1},
        {"0x10", -1},          {"1e3", -1},         {"-", -1},          {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN}, {"2147483648", -1}, {"99999999999999999999", -1}, {"007", 7},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        Put(Utf16LeFile({"[S]", QStringLiteral("n=") + QString::fromUtf8(text)}));
        TConfigfile cfg(Path());
        EXPECT_EQ(cfg.ReadNumber("S", "n", -1), expected);
    }
}

TEST_F(ConfigFile, WriteInsertionRule) {
    struct Case {
        const char* name;
        QStringList before;
        const char* section;
        const char* key;
        QStringList after;
    };
    const Case cases[] = {
        {"empty file", {}, "S", "k", {"[S]", "k=v"}},
        {"middle section: before the next header",
         {"[A]", "a=1", "[B]", "b=1", "[C]", "c=1"}, "B", "n", {"[A]", "a=1", "[B]", "b=1", "n=v", "[C]", "c=1"}},
        {"last section: before the file's last line", {"[A]", "a=1", "b=2"}, "A", "n", {"[A]", "a=1", "n=v", "b=2"}},
        {"header is the last line", {"[A]", "a=1", "[B]"}, "B", "n", {"[A]", "a=1", "[B]", "n=v"}},
        {"replaced line takes the caller's case",
         {"[S]", "FIRMWARENUMBER=300", "x=1"}, "S", "Firmwarenumber", {"[S]", "Firmwarenumber=v", "x=1"}},
        {"key of another section is left alone",
         {"[A]", "k=1", "[B]", "y=2"}, "B", "k", {"[A]", "k=1", "[B]", "k=v", "y=2"}},
        {"missing section is appended", {"[A]", "a=1"}, "B", "k", {"[A]", "a=1", "[B]", "k=v"}},
        {"header with blanks around", {" [S] ", "x=1", "[T]"}, "S", "k", {" [S] ", "x=1", "k=v", "[T]"}},
        {"[s] is not the header of S", {"[s]", "k=1"}, "S", "k", {"[s]", "k=1", "[S]", "k=v"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.before.isEmpty() ? QByteArray() : Utf16LeFile(c.before));
        TConfigfile cfg(Path());
        cfg.WriteText(c.section, c.key, "v");
        EXPECT_EQ(Get(), Utf16LeFile(c.after));
    }
    Put(QByteArray());
    TConfigfile cfg(Path());
    cfg.WriteNumber("S", "n", -12);
    EXPECT_EQ(cfg.ReadNumber("S", "n", 0), -12);
    EXPECT_EQ(Get(), Utf16LeFile({"[S]", "n=-12"}));
}

TEST_F(ConfigFile, NothingIsCached) {
    Put("[S]\r\nn=1\r\n");
    TConfigfile first(Path());
    TConfigfile second(Path());
    EXPECT_EQ(first.ReadNumber("S", "n", 0), 1);
    Put("[S]\r\nn=2\r\n");  // edited by hand between two reads
    EXPECT_EQ(first.ReadNumber("S", "n", 0), 2);
    second.WriteNumber("S", "m", 5);  // a second object's write is seen at once
    EXPECT_EQ(first.ReadNumber("S", "m", 0), 5);
    first.WriteNumber("S", "n", 3);
    EXPECT_EQ(second.ReadNumber("S", "n", 0), 3);
    EXPECT_EQ(second.ReadNumber("S", "m", 0), 5);
}

TEST_F(ConfigFile, CreationMakesMissingFilesAndClearsReadOnly) {
    {
        TConfigfile cfg(Path("new.cfg"));
        EXPECT_EQ(Get("new.cfg"), QByteArray());  // created empty
        EXPECT_EQ(cfg.ReadNumber("S", "k", 9), 9);
    }
    Put("[S]\r\nk=1\r\n", "ro.cfg");
    const fs::path ro = Path("ro.cfg").toStdString();
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    TConfigfile cfg(Path("ro.cfg"));
    EXPECT_EQ(fs::status(ro).permissions(), fs::perms::owner_read | fs::perms::owner_write |
                                                fs::perms::group_read | fs::perms::others_read);
    cfg.WriteNumber("S", "k", 2);
    EXPECT_EQ(cfg.ReadNumber("S", "k", 0), 2);
    EXPECT_TRUE(Get("ro.cfg").startsWith("\xFF\xFE"));
}

TEST_F(ConfigFile, FileErrorsReachTheCallerButNotReadNumber) {
    EXPECT_THROW(TConfigfile{dir.filePath("no/such/folder.cfg")}, TFileError);
    EXPECT_THROW(TConfigfile{dir.path()}, TFileError);  // a folder, not a file

    Put("[S]\r\nk=1\r\n");
    TConfigfile cfg(Path());
    ASSERT_TRUE(QFile::remove(Path()));
    EXPECT_THROW(cfg.ReadText("S", "k", ""), TFileError);
    EXPECT_THROW(cfg.WriteText("S", "k", "2"), TFileError);
    EXPECT_EQ(cfg.ReadNumber("S", "k", 77), 77);

    // A file far larger than any configuration is refused, not loaded; the
    // message names it.
    Put("[S]\r\nk=1\r\n", "huge.cfg");
    fs::resize_file(Path("huge.cfg").toStdString(), 40u * 1024 * 1024);
    try {
        TConfigfile huge(Path("huge.cfg"));
        ADD_FAILURE() << "loaded";
    } catch (const TFileError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(Path("huge.cfg"))) << e.what();
    }
}

TEST_F(ConfigFile, LongLinesAndManyLines) {
    const QString longValue(200000, u'x');
    QStringList lines = {"[S]"};
    for (int i = 0; i < 5000; ++i) lines << QStringLiteral("k%1=%1").arg(i);
    lines << QStringLiteral("long=") + longValue;
    Put(Utf16LeFile(lines));
    TConfigfile cfg(Path());
    EXPECT_EQ(cfg.ReadText("S", "long", ""), longValue);
    EXPECT_EQ(cfg.ReadNumber("S", "k4999", -1), 4999);
}
