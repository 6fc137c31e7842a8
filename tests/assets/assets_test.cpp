#include "pictures.h"
#include "rtfreader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>

namespace {

class AssetsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "kavrel_asset_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
  }
};

TEST_F(AssetsTest, DevicePicturesByNumber) {
  for (int n = 1; n <= kDevicePictureCount; ++n) {
    const QPixmap picture = DevicePicture(n);
    ASSERT_FALSE(picture.isNull()) << n;
    EXPECT_EQ(picture.size(), QSize(223, 223)) << n;
  }
  // each picture is its own
  for (int n = 1; n < kDevicePictureCount; ++n) {
    EXPECT_NE(DevicePicture(n).toImage(), DevicePicture(n + 1).toImage()) << n;
  }
  for (int n : {0, -1, 13}) {
    EXPECT_TRUE(DevicePicture(n).isNull()) << n;
  }
}

TEST_F(AssetsTest, LanguageFlagsByIndex) {
  for (int k = 0; k < kLanguageFlagCount; ++k) {
    const QImage flag = LanguageFlag(k).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(flag.isNull()) << k;
    ASSERT_EQ(flag.size(), QSize(20, 20)) << k;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 20; ++x) {
        const QRgb px = flag.pixel(x, y);
        if (y >= 2 && y <= 16) {
          EXPECT_EQ(qAlpha(px), 255) << k << " at " << x << "," << y;
          EXPECT_NE(px & 0xFFFFFFu, 0x808080u) << k << " at " << x << "," << y;
        } else {
          EXPECT_EQ(qAlpha(px), 0) << k << " at " << x << "," << y;
        }
      }
    }
  }
  EXPECT_TRUE(LanguageFlag(-1).isNull());
  EXPECT_TRUE(LanguageFlag(24).isNull());
}

TEST_F(AssetsTest, LogoAndWarningSign) {
  EXPECT_EQ(LogoPicture().size(), QSize(150, 40));
  EXPECT_EQ(WarningPicture().size(), QSize(64, 64));
}

TEST_F(AssetsTest, NoticeFilesReadAsThreeNumberedRulesInTheirLanguage) {
  const struct {
    const char* suffix;
    const char16_t* word;  // a word of the first rule, in the language's own script
  } notices[] = {
      {"de", u"Gerät"},       {"uk", u"device"},      {"sp", u"dispositivo"}, {"ru", u"устройство"},
      {"pl", u"urządzenie"},  {"fr", u"appareil"},    {"pt", u"dispositivo"}, {"cs", u"zařízení"},
      {"hr", u"uređaj"},      {"ukr", u"пристрій"},   {"kk", u"құрылғыны"},   {"it", u"dispositivo"},
      {"vi", u"thiết bị"},
  };
  for (const auto& n : notices) {
    QFile file(QStringLiteral(KAVREL_DATA_DIR "/infotext.%1.rtf").arg(n.suffix));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << n.suffix;
    QTextDocument doc;
    ASSERT_TRUE(ReadRtf(file.readAll(), &doc)) << n.suffix;
    QStringList rules;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
      if (!b.text().isEmpty()) {
        rules << b.text();
      }
    }
    ASSERT_EQ(rules.size(), 3) << n.suffix;
    for (int r = 0; r < 3; ++r) {
      EXPECT_TRUE(rules[r].startsWith(QStringLiteral("%1.\t").arg(r + 1))) << n.suffix;
      EXPECT_FALSE(rules[r].contains(u'?')) << n.suffix << ": " << rules[r].toStdString();
      EXPECT_FALSE(rules[r].contains(QChar(QChar::ReplacementCharacter))) << n.suffix;
    }
    EXPECT_TRUE(rules[0].contains(QString::fromUtf16(n.word))) << n.suffix << ": " << rules[0].toStdString();
    EXPECT_TRUE(rules[0].contains(u"Radio Master"_qs)) << n.suffix;
  }
}

}  // namespace
