// The window's frame: languages, a program folder whose files cannot be
// opened, closing and the exit button.
#include "mainwin_support.h"

#include <QGroupBox>
#include <QIcon>
#include <QPainter>

using namespace mainwin_test;

namespace {

class Window : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        WriteSetup(Section("RTUU", 0x0203, 1));
    }
};

TEST_F(Window, StartsWithoutLibraryAndPicksALanguage) {
    window = std::make_unique<TfrmMain>();
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(DecimalSeparator, u',');
    EXPECT_EQ(LanguageIndex, 1);
    EXPECT_EQ(window->ComboLanguage->count(), 24);
    EXPECT_EQ(window->ComboLanguage->currentIndex(), 1);
    EXPECT_EQ(window->ComboLanguage->itemText(3), QString::fromUtf8("Русский"));
    EXPECT_EQ(window->PictureNumber(), 6);
    EXPECT_EQ(window->Label3->text(), Lang(18));
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_FALSE(window->Timer1->isActive());
    EXPECT_EQ(window->windowTitle(), Lang(5) + " 2.1");
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);  // not started

    window->ComboLanguage->setCurrentIndex(6);
    window->ComboLanguageChange();
    EXPECT_EQ(LanguageIndex, 6);
    QString french;
    GetLanguageText(16, 6, french);
    EXPECT_EQ(window->BtnExit->text(), french);
    ASSERT_TRUE(LangConfig);
    EXPECT_EQ(LangConfig->ReadNumber("Einstellungen", "Sprache", -1), 6);
    EXPECT_TRUE(boxes.empty());
}

// Picture 6 says nothing in any language: below its drawing every row of the
// picture as the window shows it is one colour from border to border.
TEST_F(Window, NoDevicePictureCarriesNoText) {
    window = std::make_unique<TfrmMain>();
    window->show();
    QCoreApplication::processEvents();
    ASSERT_EQ(window->PictureNumber(), 6);
    const QImage shot = window->Image1->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(223, 223));
    for (int y = 180; y < 216; ++y)
        for (int x = 8; x < 215; ++x)
            ASSERT_EQ(shot.pixel(x, y), shot.pixel(8, y)) << "text at " << x << "," << y;
}

// The flag goes at the item's top-left with its grey transparent; the text
// starts 8 pixels after it.
TEST_F(Window, LanguageItemDrawing) {
    window = std::make_unique<TfrmMain>();
    QImage canvas(200, 18, QImage::Format_ARGB32);
    canvas.fill(QColor(0x10, 0x20, 0x30));
    {
        QPainter painter(&canvas);
        painter.setPen(Qt::white);
        window->ComboLanguageDrawItem(painter, 0, QRect(0, 0, 200, 18));
    }
    EXPECT_EQ(canvas.pixelColor(5, 0), QColor(0x10, 0x20, 0x30));  // transparent row above the flag
    EXPECT_NE(canvas.pixelColor(5, 8), QColor(0x10, 0x20, 0x30));
    int firstText = -1;
    for (int x = 20; x < 200 && firstText < 0; ++x)
        for (int y = 0; y < 18; ++y)
            if (canvas.pixelColor(x, y) != QColor(0x10, 0x20, 0x30)) {
                firstText = x;
                break;
            }
    EXPECT_GE(firstText, 28);
    EXPECT_LT(firstText, 34);
}

// Neither configuration file can be opened: one box each, and the window goes
// on without them (offers default, the language is not stored).
TEST_F(Window, ConfigurationFilesThatCannotBeOpened) {
    fs::remove(prog / "z5setup.cfg");
    fs::remove(prog / "z5lang.cfg");
    fs::create_directory(prog / "z5setup.cfg");
    fs::create_directory(prog / "z5lang.cfg");
    window = std::make_unique<TfrmMain>();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(SetupConfig);
    EXPECT_FALSE(LangConfig);
    EXPECT_EQ(window->ComboLanguage->count(), 24);
    EXPECT_TRUE(window->ComboLanguage->itemText(0).isEmpty());
    EXPECT_FALSE(window->ComboLanguage->itemIcon(0).isNull());
    window->ComboLanguage->setCurrentIndex(3);
    window->ComboLanguageChange();
    EXPECT_EQ(LanguageIndex, 3);
    EXPECT_EQ(boxes.size(), 2u);

    window->show();
    window->Initdll();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    // Nothing is offered, and the firmware is not called up to date.
    EXPECT_EQ(window->EditNewFirmware->text(), QString());
    EXPECT_EQ(window->Label6->text(), Lang(42) + " " + Isolated(QString::fromStdString((prog / "z5setup.cfg").string())));
    EXPECT_EQ(window->Label3->text(), QString());
    EXPECT_FALSE(window->BtnUpdate->isEnabled());
    EXPECT_EQ(boxes.size(), 2u);
}

// A language file without any texts: the window speaks English and says once
// which file is at fault.
TEST_F(Window, LanguageFileWithoutTextsFallsBackToEnglishAndIsReportedOnce) {
    const QString german = QString::fromStdString((prog / "Z5update.de").string());
    for (const auto& [what, bytes] : {std::pair<const char*, std::vector<char>>{"empty", {}}, {"garbage", Pattern(3000, 5)}}) {
        SCOPED_TRACE(what);
        WriteFile("Z5update.de", bytes);
        window = std::make_unique<TfrmMain>();
        window->show();
        EXPECT_TRUE(boxes.empty());
        ChooseLanguage(0);
        QString english;
        GetLanguageText(16, 1, english);
        EXPECT_EQ(window->BtnExit->text(), english);
        EXPECT_NE(window->GroupBoxDev->title(), QString());
        ChooseLanguage(1);
        ChooseLanguage(0);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].contains(german)) << boxes[0].toStdString();
        window.reset();
        boxes.clear();
    }
}

// A networks file the library cannot load keeps it from starting: the window
// says so and why, and does not poll a library that is not there.
TEST_F(Window, LibraryThatCannotStartIsShownAndNotPolled) {
    WriteFile("Z5NETS.XML", {'<', 'n', 'o', 't'});
    Start();
    EXPECT_EQ(window->PanelColor(), QColor(0xFF, 0, 0));
    EXPECT_EQ(window->Label3->text(), Lang(47));
    EXPECT_EQ(window->Label6->text(), Lang(48) + " " + Isolated(QString::fromStdString((prog / "Z5NETS.XML").string())));
    EXPECT_FALSE(window->Timer1->isActive());
    Plug();
    Spin(500);
    EXPECT_EQ(window->ComboDevice->count(), 0);
    EXPECT_EQ(window->Label3->text(), Lang(47));
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(window->close());
}

TEST_F(Window, CloseIsRefusedDuringAnUpdateAndShutsTheLibraryDown) {
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([] { return UpdateRunning() && !LibraryBusy(); }));
    EXPECT_FALSE(window->close());
    ASSERT_TRUE(WaitForUpdateEnd());
    EXPECT_TRUE(window->close());
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);
    EXPECT_EQ(DeviceHandle, nullptr);
}

TEST_F(Window, ExitButtonShutsTheLibraryDownAndEnds) {
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    window->BtnExitClick();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(tovamod_GetHardwareStructure(), nullptr);
    EXPECT_FALSE(SetupConfig);
    EXPECT_FALSE(LangConfig);
}

TEST_F(Window, OptionsDialogOnlyWhenNoUpdateRuns) {
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    QDialog options;
    int shown = 0;
    QObject::connect(&options, &QDialog::finished, [&] { ++shown; });
    window->frmOptions = &options;
    QTimer::singleShot(50, &options, &QDialog::accept);
    window->Image2DblClick();
    EXPECT_EQ(shown, 1);

    window->BtnUpdateClick();
    ASSERT_TRUE(WaitUntil([] { return UpdateRunning() && !LibraryBusy(); }));
    window->Image2DblClick();
    EXPECT_EQ(shown, 1);
    ASSERT_TRUE(WaitForUpdateEnd());
}

// Events pumped while a part is sent start no second library request: ticks,
// device choices, clicks and the options dialog wait or are dropped.
TEST_F(Window, EventsDuringALibraryCallStartNoRequest) {
    // A late block reply keeps the library waiting, and pumping, for a while: 200 ms
    // of the 500 ms reply wait, at half of real time so that it holds on a busy machine.
    z5::SetTimeScale(0.5);
    Start();
    Plug();
    ASSERT_TRUE(WaitForItems(1));
    QDialog options;
    int shown = 0;
    QObject::connect(&options, &QDialog::finished, [&] { ++shown; });
    window->frmOptions = &options;
    int pumped = 0;
    QTimer intruder;
    QObject::connect(&intruder, &QTimer::timeout, [&] {
        if (!LibraryBusy()) return;
        ++pumped;
        window->Timer1Timer();
        window->ComboDeviceChange();
        window->Image2DblClick();
        window->BtnUpdateClick();
    });
    intruder.start(1);
    rm->ClearReceived();
    rm->PushFault(z5sim::Fault::Late(200).OnCommand(0x22));
    window->BtnUpdateClick();
    ASSERT_TRUE(WaitForUpdateEnd());
    intruder.stop();
    EXPECT_GT(pumped, 0);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(rm->Firmware(0).PartsCompleted(), 1u);
    EXPECT_EQ(window->PanelColor(), QColor(0xC0, 0xDC, 0xC0));
    // Between the start and the finish frame only blocks went to the device.
    bool inPart = false;
    for (const auto& frame : rm->ReceivedFrames()) {
        ASSERT_GE(frame.size(), 3u);
        const uint8_t cmd = frame[2];
        if (cmd == 0x21) {
            inPart = true;
        } else if (cmd == 0x23) {
            inPart = false;
        } else if (inPart) {
            EXPECT_EQ(cmd, 0x22);
        }
    }
}

}  // namespace
