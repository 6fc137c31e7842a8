// The options and password dialogs without a device.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "global.h"
#include "passwort.h"
#include "qtapp.h"
#include "util.h"

namespace {

const auto* const App = ::testing::AddGlobalTestEnvironment(new OffscreenApp);

struct PasswordCase {
    const char* typed;
    uint8_t before;
    uint8_t after;
};

TEST(PasswordDialog, ComparesExactly) {
    const PasswordCase cases[] = {
        {"Tolva3817", 0, 1},  {"tolva3817", 1, 0},   {"TOLVA3817", 1, 0}, {" Tolva3817", 1, 0},
        {"Tolva3817 ", 1, 0}, {"", 1, 0},            {"Tolva", 1, 0},     {"Tolva381", 1, 0},
        {"Tolva38170", 1, 0}, {"Tolva3817\t", 1, 0},
    };
    Tfrm_passwort dialog;
    for (const PasswordCase& c : cases) {
        SCOPED_TRACE(c.typed);
        PasswordOk = c.before;
        dialog.Edit1->setText(QString::fromUtf8(c.typed));
        WhenModal<Tfrm_passwort>([](Tfrm_passwort* d) { d->Button1->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_EQ(PasswordOk, c.after);
    }
}

TEST(PasswordDialog, ClosingByTitleBarKeepsThePreviousResult) {
    Tfrm_passwort dialog;
    for (uint8_t before : {uint8_t{0}, uint8_t{1}}) {
        PasswordOk = before;
        dialog.Edit1->setText(before ? QStringLiteral("wrong") : QStringLiteral("Tolva3817"));
        WhenModal<Tfrm_passwort>([](Tfrm_passwort* d) { d->close(); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
        EXPECT_EQ(PasswordOk, before);
    }
    PasswordOk = 0;
}

TEST(PasswordDialog, MasksWithStarsAndKeepsTheTypedText) {
    Tfrm_passwort dialog;
    QTest::keyClicks(dialog.Edit1, QStringLiteral("Tolva"));
    EXPECT_EQ(dialog.Edit1->displayText(), QStringLiteral("*****"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Passwort"));
    dialog.Button1->click();
    // Hidden, not cleared: the next opening shows what was typed.
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("Tolva"));
    PasswordOk = 0;
}

TEST(LimitText, FourSignificantDigitsFixedDecimalsAndDecimalComma) {
    struct Case {
        double value;
        int decimals;
        const char* shown;
    } const cases[] = {
        {25.0, 1, "25,0"},   {0.8, 2, "0,80"},     {35.0, 1, "35,0"},  {1.0, 2, "1,00"},
        {0.0, 1, "0,0"},     {0.0, 2, "0,00"},     {40.0, 1, "40,0"},  {123.456, 1, "123,5"},
        {1.2345, 2, "1,23"}, {0.1 + 0.2, 1, "0,3"}, {-0.5, 1, "-0,5"}, {99.99, 2, "99,99"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatLimit(c.value, c.decimals, u','), QString::fromUtf8(c.shown)) << c.value;
}

TEST(LimitSteps, ClampAtTheEndsOfTheRangeAndLetValuesReadOutsideItBe) {
    struct Case {
        double value, step, ceiling, after;
    } const cases[] = {
        {35.0, 0.1, 35.0, 35.0},  // up at the ceiling stays
        {34.95, 0.1, 35.0, 35.0},
        {0.0, -0.1, 35.0, 0.0},   // down at 0 stays
        {0.05, -0.1, 35.0, 0.0},
        {40.0, -0.1, 35.0, 39.9},  // read above the ceiling: down lowers by a step
        {40.0, 0.1, 35.0, 35.0},   // ... up goes to the ceiling
        {-0.5, 0.1, 35.0, -0.4},   // read below 0: up raises by a step
        {-0.5, -0.1, 35.0, 0.0},   // ... down goes to 0
        {1.0, 0.01, 1.0, 1.0},
    };
    for (const Case& c : cases) EXPECT_NEAR(StepLimit(c.value, c.step, c.ceiling), c.after, 1e-9) << c.value;

    // Clicking the current up from 0 never passes 1,00 and lands exactly on it.
    double current = 0;
    for (int k = 0; k < 150; ++k) {
        current = StepLimit(current, TfrmOptions::IStep, TfrmOptions::ICeiling);
        ASSERT_LE(current, 1.0);
    }
    EXPECT_EQ(current, 1.0);
    EXPECT_EQ(FormatLimit(current, 2, u','), QStringLiteral("1,00"));
    // Ten steps up and ten down land on the grid as shown and written.
    double voltage = 0;
    for (int k = 0; k < 253; ++k) voltage = StepLimit(voltage, TfrmOptions::HVStep, TfrmOptions::HVCeiling);
    EXPECT_EQ(FormatLimit(voltage, 1, u','), QStringLiteral("25,3"));
    EXPECT_EQ(std::lround(voltage * 10), 253);
}

class OptionsDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        oldHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        LogEnabled = 0;
        LogFileName.clear();
        VersionCheck = 1;
        TypeCode.clear();
    }
    void TearDown() override {
        qputenv("HOME", oldHome);
        LogEnabled = 0;
        LogFileName.clear();
        VersionCheck = 1;
    }
    QTemporaryDir home;
    QByteArray oldHome;
    Tfrm_passwort password;
};

TEST_F(OptionsDialog, StartsWithTheProposedPathInTheHomeFolderAndEverythingOff) {
    TfrmOptions options(&password);
    EXPECT_EQ(options.windowTitle(), QStringLiteral("Einstellungen"));
    EXPECT_EQ(options.size(), QSize(403, 199));
    EXPECT_EQ(options.PathEdit->text(), home.filePath(QStringLiteral("z5upd.log")));
    EXPECT_FALSE(options.TntCheckBox1->isChecked());
    EXPECT_FALSE(options.TntCheckBox2->isChecked());
    EXPECT_TRUE(options.GroupBox1->isHidden());
}

TEST_F(OptionsDialog, LogSwitchActsAtTheClickPathAndVersionCheckOnlyAtOk) {
    TfrmOptions options(&password);
    TypeCode = "DUU";
    WhenModal<TfrmOptions>([](TfrmOptions* d) {
        d->TntCheckBox1->click();
        EXPECT_EQ(LogEnabled, 1);
        d->TntCheckBox2->click();
        d->PathEdit->setText(QStringLiteral("/tmp/elsewhere.log"));
        d->close();
    });
    EXPECT_EQ(options.exec(), QDialog::Rejected);
    EXPECT_EQ(LogEnabled, 1);
    EXPECT_EQ(VersionCheck, 1);
    EXPECT_TRUE(LogFileName.empty());

    // The dialog was only hidden: it shows what was entered; OK takes it.
    WhenModal<TfrmOptions>([](TfrmOptions* d) {
        EXPECT_TRUE(d->TntCheckBox1->isChecked());
        EXPECT_TRUE(d->TntCheckBox2->isChecked());
        EXPECT_EQ(d->PathEdit->text(), QStringLiteral("/tmp/elsewhere.log"));
        d->TntButton1->click();
    });
    EXPECT_EQ(options.exec(), QDialog::Accepted);
    EXPECT_EQ(VersionCheck, 0);
    EXPECT_EQ(LogFileName, "/tmp/elsewhere.log");

    WhenModal<TfrmOptions>([](TfrmOptions* d) {
        d->TntCheckBox1->click();
        d->TntCheckBox2->click();
        d->TntButton1->click();
    });
    options.exec();
    EXPECT_EQ(LogEnabled, 0);
    EXPECT_EQ(VersionCheck, 1);
    // Kept in memory only.
    EXPECT_TRUE(QDir(home.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST_F(OptionsDialog, AnotherDeviceHidesTheLimits) {
    TfrmOptions options(&password);
    for (const char* code : {"", "DUU", "xray", "XRAY ", "DLU"}) {
        TypeCode = code;
        WhenModal<TfrmOptions>([](TfrmOptions* d) {
            EXPECT_TRUE(d->GroupBox1->isHidden());
            d->close();
        });
        options.exec();
    }
}

}  // namespace
