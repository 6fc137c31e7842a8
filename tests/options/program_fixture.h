// The update program's main window with its options and password dialogs,
// offscreen, against the real library and one simulated device.
#pragma once
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "global.h"
#include "passwort.h"
#include "qtapp.h"
#include "tovamod.h"
#include "uMain.h"
#include "util.h"
#include "z5clock.h"
#include "z5sim_bus.h"

class Program : public ::testing::Test {
protected:
    // Roomy protocol time for loaded sanitizer runs: a reply wait is 100 ms, the
    // pause after a part 2 s.
    static constexpr double kTimeScale = 0.2;
    static constexpr int kWaitMs = 15000;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(ProgramDir() + "fw"));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("home")));
        ASSERT_TRUE(QDir().mkpath(dir.filePath("config")));
        for (const char* name : {"Z5update.uk", "z5lang.cfg"})
            ASSERT_TRUE(QFile::copy(QStringLiteral(KAVREL_DATA_DIR) + name, ProgramDir() + name)) << name;
        qputenv("ZELTO5_PROGRAM_DIR", ProgramDir().toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
        oldHome = qgetenv("HOME");
        qputenv("HOME", dir.filePath("home").toUtf8());
        savedScale = z5::TimeScale();
        z5::SetTimeScale(kTimeScale);
        // A modal box that no step of the test closes would hang it: fail instead.
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "modal window left open: " << modal->windowTitle().toStdString();
                modal->close();
            }
        });
        watchdog.start(2 * kWaitMs);
        bus.Export();
        TypeCode.clear();
        LogEnabled = 0;
        LogOpen = 0;
        LogFileName.clear();
        PasswordOk = 0;
    }

    void TearDown() override {
        CancelModalActions();
        if (main) {
            EXPECT_TRUE(QTest::qWaitFor([] { return !UpdateRunning(); }, kWaitMs));
            main->close();
            main.reset();
        }
        bus.UnplugAll();
        qputenv("HOME", oldHome);
        TypeCode.clear();
        LogEnabled = 0;
        LogOpen = 0;
        LogFileName.clear();
        PasswordOk = 0;
        z5::SetTimeScale(savedScale);
    }

    QString ProgramDir() const { return dir.filePath(QStringLiteral("prog/")); }

    // The setup file and a part file of Size bytes for section Code.
    void WriteSetup(const std::string& code, int32_t offered, int32_t deviceClass, int hardware, int size = 600) {
        const std::string part = "fw/" + code + ".bin";
        QFile file(ProgramDir() + "z5setup.cfg");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[" + code + "]\r\nFirmwarenumber=" + std::to_string(offered) + "\r\nMaxFilenames=1\r\nFilename1=" +
                    part + "\r\nDevicetyp=" + std::to_string(deviceClass) +
                    "\r\nHardwarenumbers=1\r\nHardwareVersion1=" + std::to_string(hardware) + "\r\n")
                       .c_str());
        QFile firmware(ProgramDir() + QString::fromStdString(part));
        ASSERT_TRUE(firmware.open(QIODevice::WriteOnly));
        QByteArray bytes(size, '\0');
        for (int k = 0; k < size; ++k) bytes[k] = static_cast<char>(k * 7 + 3);
        firmware.write(bytes);
    }

    // Starts the program as the confirmed notice would, with both dialogs.
    void Start() {
        main = std::make_unique<TfrmMain>();
        auto* password = new Tfrm_passwort(main.get());
        options = new TfrmOptions(password, main.get());
        main->frmOptions = options;
        main->show();
        main->Initdll();
    }

    // Waits until the poll pass shows a device with type code Code.
    bool WaitForDevice(const std::string& code) {
        return QTest::qWaitFor([&] { return TypeCode == code && main->ComboDevice->count() > 0; }, kWaitMs);
    }

    static QString Text(int32_t id) {
        QString text;
        GetLanguageText(id, LanguageIndex, text);
        return text;
    }

    QTemporaryDir dir;
    QTimer watchdog;
    QByteArray oldHome;
    double savedScale = 1;
    z5sim::Bus bus;
    std::unique_ptr<TfrmMain> main;
    TfrmOptions* options = nullptr;
};
