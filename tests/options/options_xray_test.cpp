// The options dialog in the running program against a simulated X-ray unit and
// another device: the limits, the password, the device check, and what the
// options change in the main window and the next update.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>

#include "program_fixture.h"
#include "z5sim_instruments.h"
#include "z5sim_radiomaster.h"

namespace {

const auto* const App = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

using z5sim::Bytes;

// Parameter ids in the read (0x12) and write (0x11) frames the unit received.
std::vector<uint8_t> ParamIds(const z5sim::Device& model, uint8_t cmd) {
    std::vector<uint8_t> ids;
    for (const Bytes& f : model.ReceivedFrames())
        if (f.size() > 6 && f[2] == cmd) ids.push_back(f[5]);
    return ids;
}

bool Has(const std::vector<uint8_t>& ids, uint8_t id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

class XRayProgram : public Program {
protected:
    void SetUp() override {
        Program::SetUp();
        xray->SetParam(1, 0x0102, 2);  // installed firmware 1.2
        xray->SetParam(0, 1, 1);       // hardware 1
        xray->SetDeviceClass(10);
        xray->SetParam(32, 250, 2);
        xray->SetParam(33, 80, 2);
    }

    void StartWithXRay(int32_t offered = 0x0103) {
        WriteSetup("XRAY", offered, 10, 1);
        ASSERT_TRUE(bus.Plug(xray));
        Start();
        ASSERT_TRUE(WaitForDevice("XRAY"));
    }

    // Opens the options by the logo's double click and runs Action in the open dialog.
    void InOptions(std::function<void(TfrmOptions*)> Action) {
        WhenModal<TfrmOptions>(std::move(Action));
        main->Image2DblClick();
    }

    // Types Typed into the password prompt and confirms it, once it opens.
    static void AnswerPassword(const QString& typed) {
        WhenModal<Tfrm_passwort>([typed](Tfrm_passwort* d) {
            d->Edit1->setText(typed);
            d->Button1->click();
        });
    }

    // Closes the next message box, keeping its text.
    static void CloseMessage(QString& text) {
        WhenModal<QMessageBox>([&text](QMessageBox* box) {
            text = box->text();
            box->accept();
        });
    }

    std::shared_ptr<z5sim::XRay> xray = std::make_shared<z5sim::XRay>(z5sim::XRay::kDescription, "XR1");
};

TEST_F(XRayProgram, ShowsTheLimitsWithTheDecimalCommaAndWritesThemBackUnchanged) {
    StartWithXRay();
    xray->ClearReceived();
    InOptions([&](TfrmOptions* d) {
        EXPECT_FALSE(d->GroupBox1->isHidden());
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("25,0"));
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("0,80"));
        EXPECT_TRUE(d->Button1->isEnabled());
        AnswerPassword(QStringLiteral("Tolva3817"));
        d->Button1->click();
        d->close();
    });
    EXPECT_EQ(PasswordOk, 1);
    EXPECT_EQ(xray->GetParam(32)->value, 250u);
    EXPECT_EQ(xray->GetParam(33)->value, 80u);
    EXPECT_EQ(ParamIds(*xray, 0x11), (std::vector<uint8_t>{32, 33}));
    for (const Bytes& f : xray->ReceivedFrames()) {
        if (f.size() > 2 && f[2] == 0x11) {
            EXPECT_EQ(f.size(), 9u) << "two value bytes";
        }
    }
}

TEST_F(XRayProgram, SpinButtonsStopAtTheEndsAndTheChangedLimitsAreWritten) {
    xray->SetParam(32, 349, 2);
    xray->SetParam(33, 98, 2);
    StartWithXRay();
    InOptions([&](TfrmOptions* d) {
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("34,9"));
        for (int k = 0; k < 3; ++k) d->SpinButton1->UpButton->click();
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("35,0"));
        for (int k = 0; k < 5; ++k) d->SpinButton2->UpButton->click();
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("1,00"));
        d->SpinButton2->DownButton->click();
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("0,99"));
        AnswerPassword(QStringLiteral("Tolva3817"));
        d->Button1->click();
        // Down to 0 and one further click: stays at 0, written as 0.
        for (int k = 0; k < 400; ++k) d->SpinButton1->DownButton->click();
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("0,0"));
        d->close();
    });
    EXPECT_EQ(xray->GetParam(32)->value, 350u);
    EXPECT_EQ(xray->GetParam(33)->value, 99u);
}

TEST_F(XRayProgram, ALimitReadAboveTheCeilingStaysUntilClicked) {
    xray->SetParam(32, 400, 2);
    xray->SetParam(33, 150, 2);
    StartWithXRay();
    InOptions([&](TfrmOptions* d) {
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("40,0"));
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("1,50"));
        d->SpinButton1->DownButton->click();
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("39,9"));
        d->SpinButton2->UpButton->click();
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("1,00"));
        AnswerPassword(QStringLiteral("Tolva3817"));
        d->Button1->click();
        d->close();
    });
    EXPECT_EQ(xray->GetParam(32)->value, 399u);
    EXPECT_EQ(xray->GetParam(33)->value, 100u);
}

TEST_F(XRayProgram, AWrongPasswordWritesNothing) {
    StartWithXRay();
    xray->ClearReceived();
    QString message;
    InOptions([&](TfrmOptions* d) {
        d->SpinButton1->UpButton->click();
        for (const char* typed : {"tolva3817", "Tolva3817 ", ""}) {
            AnswerPassword(QString::fromUtf8(typed));
            CloseMessage(message);
            d->Button1->click();
            EXPECT_EQ(message, QStringLiteral("Falsches Passwort")) << typed;
            message.clear();
        }
        // Closing the prompt by its title bar after a wrong entry: still refused.
        WhenModal<Tfrm_passwort>([](Tfrm_passwort* p) { p->close(); });
        CloseMessage(message);
        d->Button1->click();
        EXPECT_EQ(message, QStringLiteral("Falsches Passwort"));
        d->close();
    });
    EXPECT_TRUE(ParamIds(*xray, 0x11).empty());
    EXPECT_EQ(xray->GetParam(32)->value, 250u);
}

TEST_F(XRayProgram, AFailedReadShowsUnknownLimitsAndNothingCanBeWritten) {
    StartWithXRay();
    tovamod_DeactivateDevicesIdentification();  // no scan request takes a fault meanwhile
    for (int k = 0; k < 4; ++k) xray->PushFault(z5sim::Fault::NoAnswer().OnCommand(0x12));  // every try
    xray->ClearReceived();
    InOptions([&](TfrmOptions* d) {
        EXPECT_FALSE(d->GroupBox1->isHidden());
        EXPECT_FALSE(d->LimitsKnown());
        EXPECT_EQ(d->Edit1->text(), QStringLiteral("?"));
        EXPECT_EQ(d->Edit2->text(), QStringLiteral("?"));
        EXPECT_FALSE(d->Button1->isEnabled());
        EXPECT_FALSE(d->SpinButton1->isEnabled());
        EXPECT_FALSE(d->SpinButton2->isEnabled());
        d->Button1Click();  // even called directly: no prompt, no write
        d->close();
    });
    EXPECT_TRUE(ParamIds(*xray, 0x11).empty());
    EXPECT_EQ(xray->PendingFaults(), 0u);
}

TEST_F(XRayProgram, WritesOnlyWhileTheUnitItWasOpenedForIsStillAttached) {
    StartWithXRay();
    QString message;
    InOptions([&](TfrmOptions* d) {
        ASSERT_TRUE(d->LimitsKnown());
        const uint32_t opened = DisplayGeneration;
        // The poll goes on under the dialog: the unit leaves and another comes.
        bus.Unplug("XR1");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !DeviceHandle && main->ComboDevice->count() == 0; }, kWaitMs));
        auto other = std::make_shared<z5sim::XRay>(z5sim::XRay::kDescription, "XR2");
        ASSERT_TRUE(bus.Plug(other));
        ASSERT_TRUE(QTest::qWaitFor([&] { return DeviceHandle && main->ComboDevice->count() > 0; }, kWaitMs));
        EXPECT_GE(DisplayGeneration, opened + 2);
        other->ClearReceived();
        AnswerPassword(QStringLiteral("Tolva3817"));
        CloseMessage(message);
        d->Button1->click();
        EXPECT_TRUE(ParamIds(*other, 0x11).empty());
        EXPECT_FALSE(d->Button1->isEnabled());
        d->close();
    });
    EXPECT_EQ(message, QStringLiteral("Das Gerät XG 7.1 ist nicht mehr angeschlossen."));
}

TEST_F(XRayProgram, AChangeClickedDuringALibraryCallWaitsForItsEnd) {
    StartWithXRay();
    bool prompted = false;
    InOptions([&](TfrmOptions* d) {
        auto call = std::make_unique<TLibraryCall>();  // as if a poll pass waited for a reply
        WhenModal<Tfrm_passwort>([&](Tfrm_passwort* p) {
            prompted = true;
            p->Edit1->setText(QStringLiteral("Tolva3817"));
            p->Button1->click();
        });
        d->SpinButton1->UpButton->click();
        d->Button1->click();
        QTest::qWait(50);
        EXPECT_FALSE(prompted);
        EXPECT_EQ(xray->GetParam(32)->value, 250u);
        call.reset();
        EXPECT_TRUE(QTest::qWaitFor([&] { return xray->GetParam(32)->value == 251u; }, kWaitMs));
        EXPECT_TRUE(prompted);
        d->close();
    });
}

TEST_F(XRayProgram, NotOfferedWhileAnUpdateRuns) {
    StartWithXRay();
    ASSERT_TRUE(main->BtnUpdate->isEnabled());
    bool opened = false;
    // The pause after the part: the options stay closed and the button stays off.
    main->BtnUpdateClick();
    ASSERT_TRUE(UpdateRunning());
    WhenModal<TfrmOptions>([&](TfrmOptions* d) {
        opened = true;
        d->close();
    });
    main->Image2DblClick();
    QTest::qWait(50);
    CancelModalActions();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(main->BtnUpdate->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([] { return !UpdateRunning(); }, kWaitMs));
}

TEST_F(XRayProgram, SwitchingTheVersionCheckOffOffersAnEqualVersion) {
    StartWithXRay(0x0102);
    EXPECT_FALSE(main->BtnUpdate->isEnabled());
    EXPECT_EQ(main->Label6->text(), Text(38));
    // Ticked but left by the title bar: the check stays on.
    InOptions([](TfrmOptions* d) {
        d->TntCheckBox2->click();
        d->close();
    });
    EXPECT_EQ(VersionCheck, 1);
    EXPECT_FALSE(main->BtnUpdate->isEnabled());
    // OK takes it; the main window decides again at once.
    InOptions([](TfrmOptions* d) { d->TntButton1->click(); });
    EXPECT_EQ(VersionCheck, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return main->BtnUpdate->isEnabled(); }, kWaitMs));
    EXPECT_TRUE(main->Label6->text().isEmpty());
}

TEST_F(XRayProgram, LogSwitchedOnWithOkMakesTheNextUpdateWriteItsLogAtTheProposedPath) {
    StartWithXRay();
    const QString path = dir.filePath(QStringLiteral("home/z5upd.log"));
    InOptions([&](TfrmOptions* d) {
        EXPECT_EQ(d->PathEdit->text(), path);
        d->TntCheckBox1->click();
        d->TntButton1->click();
    });
    EXPECT_FALSE(QFile::exists(path));
    main->BtnUpdateClick();
    ASSERT_TRUE(QTest::qWaitFor([] { return !UpdateRunning(); }, kWaitMs));
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_TRUE(text.contains("XRAY Firmware version: 1.2\r\n")) << text.constData();
    EXPECT_TRUE(text.contains("Log file created - ")) << text.constData();
    EXPECT_TRUE(text.contains("Result update finish = 0 - ")) << text.constData();
    EXPECT_EQ(LogOpen, 0) << "closed after the pause";
}

TEST_F(XRayProgram, LogSwitchedOnWithoutOkRefusesTheUpdateWithAMessage) {
    StartWithXRay();
    InOptions([](TfrmOptions* d) {
        d->TntCheckBox1->click();
        d->close();
    });
    ASSERT_EQ(LogEnabled, 1);
    ASSERT_TRUE(LogFileName.empty());
    xray->ClearReceived();
    QString message;
    CloseMessage(message);
    main->BtnUpdateClick();
    EXPECT_EQ(message, QStringLiteral("No log file name given"));
    EXPECT_FALSE(UpdateRunning());
    for (const Bytes& f : xray->ReceivedFrames()) EXPECT_NE(f[2], 0x21) << "no update start";
    EXPECT_EQ(LogOpen, 0);
    EXPECT_TRUE(main->BtnUpdate->isEnabled()) << "the click can be repeated once a path is given";
}

class OtherDeviceProgram : public Program {};

TEST_F(OtherDeviceProgram, HidesTheLimitsAndReadsNothing) {
    auto desk = std::make_shared<z5sim::RadioMaster>("Zelto5 Desk-Port", "DP1");
    WriteSetup("DUU", 0x0200, 5, 1);
    ASSERT_TRUE(bus.Plug(desk));
    Start();
    ASSERT_TRUE(WaitForDevice("DUU"));
    desk->ClearReceived();
    main->Timer1->stop();
    WhenModal<TfrmOptions>([](TfrmOptions* d) {
        EXPECT_TRUE(d->GroupBox1->isHidden());
        d->close();
    });
    main->Image2DblClick();
    const std::vector<uint8_t> reads = ParamIds(*desk, 0x12);
    EXPECT_FALSE(Has(reads, 32));
    EXPECT_FALSE(Has(reads, 33));
}

}  // namespace
