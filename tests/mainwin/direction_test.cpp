// Right-to-left languages: inserted paths and numbers keep their own order, and
// each caption of the status panel stands beside its value in both directions.
#include "mainwin_support.h"

#include <QFrame>
#include <QImage>

using namespace mainwin_test;

namespace {

constexpr int kArabic = 5;

class Direction : public MainWindow {};

TEST_F(Direction, RefusalNamesItsPathLeftToRightInArabic) {
    WriteSetup({"[RTUU]", "Firmwarenumber=515", "MaxFilenames=1", "Filename1=fw/none.bin", "Devicetyp=4", ""});
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    ChooseLanguage(kArabic);
    ASSERT_TRUE(window->BtnUpdate->isEnabled());
    window->BtnUpdateClick();
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
    const QString path = QString::fromStdString((prog / "fw/none.bin").string());
    EXPECT_EQ(window->Label6->text(), Lang(44) + u' ' + QChar(0x2066) + path + QChar(0x2069));
    EXPECT_TRUE(window->Label6->text().isRightToLeft());
    EXPECT_EQ(window->Label6->layoutDirection(), Qt::RightToLeft);
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(MAINWIN_SCREENSHOT_DIR "mainwin-arabic-refusal.png")));
}

// The columns a row of the panel inks, as [first, last]; {-1, -1} for none.
std::pair<int, int> Ink(const QImage& panel, QRect row) {
    const QRgb background = panel.pixel(row.left(), row.top());
    int first = -1, last = -1;
    for (int x = row.left(); x <= row.right(); ++x)
        for (int y = row.top(); y <= row.bottom(); ++y)
            if (panel.pixel(x, y) != background) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

// Caption and value of the status and the duration row, as drawn: the caption
// comes first in reading order and the value follows within its column's gap.
TEST_F(Direction, CaptionsAndValuesPairUpInBothDirections) {
    WriteSetup(Section("RTUU", 0x0203, 1));
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    for (int language : {1, kArabic}) {
        SCOPED_TRACE(language);
        ChooseLanguage(language);
        window->ComboDeviceChange();  // the status in the chosen language
        window->Label3->setText(Lang(21));
        const bool rtl = language == kArabic;
        const QImage panel = window->Panel2->grab().toImage();
        for (QLabel* caption : {window->LabelStatus, window->LabelDauer}) {
            QLabel* value = caption == window->LabelStatus ? window->Label3 : window->TimeL;
            ASSERT_FALSE(value->text().isEmpty());
            const QRect row(4, caption->y(), panel.width() - 8, caption->height());
            const auto [captionFirst, captionLast] = Ink(panel, caption->geometry().intersected(row));
            const auto [valueFirst, valueLast] = Ink(panel, value->geometry().intersected(row));
            ASSERT_GE(captionFirst, 0);
            ASSERT_GE(valueFirst, 0);
            // From the caption's end to the value's start, in reading direction.
            const int gap = rtl ? captionFirst - valueLast : valueFirst - captionLast;
            EXPECT_GT(gap, 0) << value->text().toStdString();
            EXPECT_LT(gap, 140) << value->text().toStdString();
        }
    }
    const QImage shot = window->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(MAINWIN_SCREENSHOT_DIR "mainwin-arabic.png")));
}

}  // namespace
