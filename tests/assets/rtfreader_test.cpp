#include "codepages.h"
#include "rtfreader.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <string>

namespace {

void EnsureApp() {
  static int argc = 1;
  static char name[] = "kavrel_rtf_tests";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
  }
}

// Blocks joined by "|", each as its text.
QString Text(const QTextDocument& doc) {
  QStringList blocks;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    blocks << b.text();
  }
  return blocks.join(u'|');
}

// Blocks joined by "|"; a block that is not left-aligned starts with C:, R: or J:;
// a fragment that is not plain 12-point text is written {flags:text} with the flags
// b, i, u and the point size when it is not 12.
QString Describe(const QTextDocument& doc) {
  QStringList blocks;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    QString out;
    const Qt::Alignment a = b.blockFormat().alignment();
    if (a & Qt::AlignHCenter) out += "C:";
    if (a & Qt::AlignRight) out += "R:";
    if (a & Qt::AlignJustify) out += "J:";
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const QTextCharFormat cf = f.charFormat();
      QString flags;
      if (cf.fontWeight() >= QFont::Bold) flags += 'b';
      if (cf.fontItalic()) flags += 'i';
      if (cf.fontUnderline()) flags += 'u';
      if (cf.fontPointSize() != 12.0) flags += QString::number(cf.fontPointSize());
      out += flags.isEmpty() ? f.text() : "{" + flags + ":" + f.text() + "}";
    }
    blocks << out;
  }
  return blocks.join(u'|');
}

QString Read(const std::string& rtf, QString (*show)(const QTextDocument&) = Text) {
  EnsureApp();
  QTextDocument doc;
  EXPECT_TRUE(ReadRtf(QByteArrayView(rtf.data(), static_cast<qsizetype>(rtf.size())), &doc)) << rtf;
  return show(doc);
}

struct Case {
  const char* name;
  std::string rtf;
  QString expected;
};

TEST(ReadRtf, Text) {
  const std::string deep = std::string(100, '{') + "x" + std::string(100, '}');
  const std::string tooDeep = std::string(1000, '{') + "x" + std::string(1000, '}');
  const Case cases[] = {
      {"plain", R"({\rtf1 Hello})", "Hello"},
      {"paragraphs", R"({\rtf1 a\par b\par})", "a|b|"},
      {"delimiter space is eaten", R"({\rtf1 \b bold\b0  text})", "bold text"},
      {"escaped characters", R"({\rtf1 \{a\}\\b})", "{a}\\b"},
      {"line ends in the source are no text", "{\\rtf1 a\r\nb\n}", "ab"},
      {"backslash and line end is a paragraph", "{\\rtf1 a\\\nb}", "a|b"},
      {"leading white space", " \r\n{\\rtf1 a}", "a"},
      {"hex in 1252", R"({\rtf1\ansi\ansicpg1252 caf\'e9 \'93q\'94})", u"café “q”"_qs},
      {"hex in 1250", R"({\rtf1\ansi\ansicpg1250 \'b9\'9a\'e8})", u"ąšč"_qs},
      {"hex in 1251", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})", u"При"_qs},
      {"hex in 1253", R"({\rtf1\ansi\ansicpg1253 \'e1\'e2})", u"αβ"_qs},
      {"hex in 1254", R"({\rtf1\ansi\ansicpg1254 \'f0\'fd})", u"ğı"_qs},
      {"hex in 1255", R"({\rtf1\ansi\ansicpg1255 \'e0})", u"א"_qs},
      {"hex in 1256", R"({\rtf1\ansi\ansicpg1256 \'c7})", u"ا"_qs},
      {"hex in 1257", R"({\rtf1\ansi\ansicpg1257 \'e0\'f0})", u"ąš"_qs},
      {"double-byte code page", R"({\rtf1\ansi\ansicpg932 \'82\'a0})", u"あ"_qs},
      {"raw 8-bit text in the code page", "{\\rtf1\\ansicpg1251 \xcf}", u"П"_qs},
      {"upper-case hex digits, one digit", R"({\rtf1 \'C9\'4})", u"É"_qs},
      {"font character set chooses the code page",
       R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial;}{\f2\fcharset238 Arial;}}\f1\'c0\f0\'c0\f2\'b9})",
       u"АÀą"_qs},
      {"default font's character set", R"({\rtf1\ansi\deff1{\fonttbl{\f1\fcharset161 Arial;}}\'e1})", u"α"_qs},
      {"unicode skips its fallback", R"({\rtf1\uc1\u1055?\u1088?})", u"Пр"_qs},
      {"fallback of two hex bytes", R"({\rtf1\uc2\u1055\'cf\'cfx})", u"Пx"_qs},
      {"no fallback", R"({\rtf1\uc0\u1055 x})", u"Пx"_qs},
      {"negative values form a surrogate pair", R"({\rtf1\u-10179?\u-8694?})", u"😊"_qs},
      {"skip count is scoped by groups", R"({\rtf1{\uc2 \u1055??}\u1056?x})", u"ПРx"_qs},
      {"a group ends the skipping", R"({\rtf1\uc3\u1055{x}})", u"Пx"_qs},
      {"special characters", R"({\rtf1 \~\-\_\emdash\endash\lquote\rquote\ldblquote\rdblquote\bullet})",
       u"\u00A0\u00AD\u2011—–‘’“”•"_qs},
      {"tab and line break", R"({\rtf1 a\tab b\line c})", u"a\tb\u2028c"_qs},
      {"table cells and rows", R"({\rtf1 a\cell b\cell\row c})", "a\tb\t|c"},
      {"skipped destinations",
       R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1\green2\blue3;}{\stylesheet{\s0 Normal;}})"
       R"({\info{\title T}{\author A}}{\pict\pngblip 89504e47}{\*\generator g;}{\*\unknown x}text})",
       "text"},
      {"paragraph in a font table is ignored", R"({\rtf1{\fonttbl\par{\f0 A;}}x})", "x"},
      {"list text kept, numbering definition skipped", R"({\rtf1{\*\pn\pnlvlblt{\pntxtb x}}{\listtext y\tab}z})",
       "y\tz"},
      {"field shows its result", R"({\rtf1{\field{\*\fldinst HYPERLINK "u"}{\fldrslt link}}})", "link"},
      {"binary data is skipped", "{\\rtf1 a\\bin3 {}\\b}", "ab"},
      {"binary data in a picture", "{\\rtf1{\\pict\\bin5 }{}ab}x}", "x"},
      {"binary count beyond the end", R"({\rtf1 a\bin999999 xyz)", "a"},
      {"unknown symbols and words", R"({\rtf1 a\|\:\zzz b})", "ab"},
      {"control characters dropped", "{\\rtf1 a\\u0 \\u7 \x01" "b}", "ab"},
      {"unclosed groups", R"({\rtf1 a{\b b)", "ab"},
      {"text after the document group", R"({\rtf1 a}}b)", "a"},
      {"cut after a backslash", "{\\rtf1 a\\", "a"},
      {"cut in a hex escape", "{\\rtf1 a\\'", "a"},
      {"cut after \\u", "{\\rtf1 a\\u", "a"},
      {"long word and huge parameter", "{\\rtf1 a\\fs99999999999999 \\" + std::string(100, 'q') + " b}", "ab"},
      {"nesting within the limit", "{\\rtf1 " + deep + " y}", "x y"},
      {"groups nested too deep are skipped", "{\\rtf1 " + tooDeep + "y}", "y"},
      {"braces escaped inside a skipped deep group", "{\\rtf1 " + std::string(300, '{') + "\\}" +
                                                         std::string(300, '}') + "y}",
       "y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(c.rtf), c.expected) << c.name;
  }
}

TEST(ReadRtf, Formatting) {
  const Case cases[] = {
      {"bold italic underline", R"({\rtf1 a\b b\i c\b0 d\i0\ul e\ulnone f\ul1 g\ul0 h})",
       "a{b:b}{bi:c}{i:d}{u:e}f{u:g}h"},
      {"font size and plain", R"({\rtf1\fs28 a\fs20\b b\plain c})", "{14:a}{b10:b}c"},
      {"group restores the formatting", R"({\rtf1 a{\b\fs16 b}c})", "a{b8:b}c"},
      {"alignments", R"({\rtf1\qc a\par\pard b\par\qr c\par\qj d\par\ql e})", "C:a|b|R:c|J:d|e"},
      {"paragraph keeps its alignment until pard", R"({\rtf1 a\qc\par b})", "C:a|C:b"},
      {"group restores the alignment", R"({\rtf1{\qc a\par}b})", "C:a|b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(c.rtf, Describe), c.expected) << c.name;
  }
}

TEST(ReadRtf, IndentsSpacingAndTabStops) {
  EnsureApp();
  QTextDocument doc;
  ASSERT_TRUE(ReadRtf(R"({\rtf1\tx360\li720\ri150\fi-360\sb300\sa150 a\par\pard b})", &doc));
  const QTextBlockFormat first = doc.begin().blockFormat();
  EXPECT_DOUBLE_EQ(first.leftMargin(), 48);
  EXPECT_DOUBLE_EQ(first.rightMargin(), 10);
  EXPECT_DOUBLE_EQ(first.textIndent(), -24);
  EXPECT_DOUBLE_EQ(first.topMargin(), 20);
  EXPECT_DOUBLE_EQ(first.bottomMargin(), 10);
  ASSERT_EQ(first.tabPositions().size(), 1);
  EXPECT_DOUBLE_EQ(first.tabPositions()[0].position, 24);
  const QTextBlockFormat second = doc.begin().next().blockFormat();
  EXPECT_DOUBLE_EQ(second.leftMargin(), 0);
  EXPECT_TRUE(second.tabPositions().isEmpty());
}

TEST(ReadRtf, RefusesDataThatIsNotRtfAndKeepsTheDocument) {
  EnsureApp();
  QTextDocument doc;
  doc.setPlainText("kept");
  for (const char* data : {"", "hello", "{\\rt", "{rtf1 a}", "\\rtf1 a}"}) {
    EXPECT_FALSE(ReadRtf(data, &doc)) << data;
    EXPECT_EQ(doc.toPlainText(), "kept") << data;
  }
  EXPECT_FALSE(ReadRtf("{\\rtf1 a}", nullptr));
}

TEST(ReadRtf, ReplacesThePreviousContents) {
  EnsureApp();
  QTextDocument doc;
  doc.setPlainText("old\ntext");
  ASSERT_TRUE(ReadRtf("{\\rtf1 new}", &doc));
  EXPECT_EQ(Text(doc), "new");
}

TEST(ReadRtf, ReadsOnlyWithinItsInput) {
  // The view ends in the middle of a control word and of a hex escape; what follows
  // in memory must not be read.
  const std::string memory = "{\\rtf1 ab\\'41\\par cd}";
  for (std::size_t cut : {std::size_t{9}, std::size_t{11}, std::size_t{13}, std::size_t{16}}) {
    EnsureApp();
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(QByteArrayView(memory.data(), static_cast<qsizetype>(cut)), &doc));
    EXPECT_FALSE(Text(doc).contains("cd")) << cut;
    EXPECT_FALSE(Text(doc).contains('|')) << cut;
  }
}

TEST(CodePages, BuiltinTablesAgreeWithQt) {
  for (int cp = 1250; cp <= 1258; ++cp) {
    ASSERT_TRUE(HasBuiltinCodePage(cp));
    QStringDecoder qt(("windows-" + std::to_string(cp)).c_str());
    if (!qt.isValid()) {
      continue;  // Qt without this converter: the table is all there is
    }
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      QString table;
      DecodeWithBuiltinTable(cp, QByteArrayView(&byte, 1), table);
      if (table == QString(QChar(QChar::ReplacementCharacter))) {
        continue;  // undefined in this code page
      }
      EXPECT_EQ(table, QString(qt.decode(QByteArrayView(&byte, 1)))) << cp << " byte " << b;
    }
  }
}

TEST(CodePages, UnknownCodePageReadsAs1252) {
  CodePageDecoder decoder;
  QString out;
  decoder.Decode(99999, "\x80\xe9", out);
  EXPECT_EQ(out, u"€é"_qs);
  QString table;
  DecodeWithBuiltinTable(437, "\x80", table);
  EXPECT_EQ(table, u"€"_qs);
}

}  // namespace
