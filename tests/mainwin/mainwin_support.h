// Shared by the main window tests: a program folder of its own with the language
// files, a setup file and part files written by the test, the window started
// with the library against a simulated Radio Master, and the error boxes it shows.
#pragma once
#define TOVAMOD_INTERNAL
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "global.h"
#include "tovamod.h"
#include "uMain.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_fault.h"
#include "z5sim_radiomaster.h"
#include "z5test_networks.h"
#include "z5widestring.h"

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace mainwin_test {

namespace fs = std::filesystem;

constexpr uint64_t kBaseMAC = 0x0011223344556677ull;  // the model's parameter 7
constexpr uint64_t kOwnMAC = 0x1000000000000001ull;
constexpr uint8_t kHardware = 3;

// Spins the event loop until done() holds; false after the deadline.
inline bool WaitUntil(const std::function<bool()>& done, int seconds = 60) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Calls onPaint whenever the widget paints: the program repaints a label at once
// when its text changes before a library call, so no text shown escapes it.
class PaintWatch : public QObject {
public:
    PaintWatch(QWidget& widget, std::function<void()> onPaint) : onPaint_(std::move(onPaint)) {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) onPaint_();
        return false;
    }

private:
    std::function<void()> onPaint_;
};

inline void Spin(int ms) {
    QElapsedTimer clock;
    clock.start();
    WaitUntil([&] { return clock.elapsed() >= ms; });
}

inline QString Lang(int id) {
    QString text;
    GetLanguageText(id, LanguageIndex, text);
    return text;
}

// A path or number as the window inserts it into a sentence: left to right
// between the isolate marks U+2066 and U+2069.
inline QString Isolated(const QString& text) { return QChar(0x2066) + text + QChar(0x2069); }
inline QString Isolated(int number) { return Isolated(QString::number(number)); }

inline std::vector<char> Pattern(size_t n, unsigned seed) {
    std::vector<char> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<char>(i * 31 + seed * 7 + (i >> 8));
    return b;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        savedScale = z5::TimeScale();
        z5::SetTimeScale(0.05);
        std::string pattern = (fs::temp_directory_path() / "z5mainwin-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        prog = root / "prog";
        fs::create_directories(prog / "fw");
        fs::create_directories(root / "cfg");
        for (const auto& entry : fs::directory_iterator(KAVREL_DATA_DIR)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("Z5update.", 0) == 0 || name == "z5lang.cfg") fs::copy_file(entry.path(), prog / name);
        }
        ::setenv("ZELTO5_PROGRAM_DIR", prog.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "cfg").c_str(), 1);
        ::setenv("LC_ALL", "en_US.UTF-8", 1);
        bus.Export();
        rm->SetParam(0, kHardware);
        rm->SetParam(1, 0x0102);
        QObject::connect(&boxWatch, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == handling) return;
            handling = box;
            boxes.push_back(box->text());
            if (onBox) onBox();
            box->accept();
            handling = nullptr;
        });
        boxWatch.start(5);
    }

    void TearDown() override {
        window.reset();
        boxWatch.stop();
        bus.UnplugAll();
        // The program-wide state, for the next test of the same run.
        LogEnabled = 0;
        if (LogOpen) CloseLog();
        SetupConfig.reset();
        LangConfig.reset();
        UpdateJob = TUpdateJob{};
        TypeCode.clear();
        RadioParam4 = 0;
        DeviceHandle = SensorHandle = nullptr;
        LanguageIndex = 1;
        VersionCheck = 1;
        z5::SetTimeScale(savedScale);
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    void WriteFile(const std::string& name, const std::vector<char>& bytes) {
        std::ofstream(prog / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // The setup file (8-bit text, CR LF).
    void WriteSetup(const std::vector<std::string>& lines) {
        std::ofstream out(prog / "z5setup.cfg", std::ios::binary);
        for (const auto& line : lines) out << line << "\r\n";
    }
    // A section with count part files fw/<name><i>.bin of the given sizes.
    std::vector<std::string> Section(const std::string& name, int firmware, int count, size_t size = 3000) {
        std::vector<std::string> lines{"[" + name + "]", "Firmwarenumber=" + std::to_string(firmware),
                                       "MaxFilenames=" + std::to_string(count)};
        for (int i = 1; i <= count; ++i) {
            const std::string file = "fw/" + name + std::to_string(i) + ".bin";
            WriteFile(file, Pattern(size, static_cast<unsigned>(i)));
            lines.push_back("Filename" + std::to_string(i) + "=" + file);
        }
        lines.insert(lines.end(), {"Devicetyp=4", "Hardwarenumbers=1", "HardwareVersion1=" + std::to_string(kHardware), ""});
        return lines;
    }

    // The window with the library started; the own radio unit is admitted by the networks file.
    void Start() {
        window = std::make_unique<TfrmMain>();
        window->show();
        window->Initdll();
        AdmitOwnUnit();
    }
    static void AdmitOwnUnit() {
        TZ5_HardLock_Networks* tree = z5test::ActiveNetwork({{"0011223344556677", 11, {{"RCU", "1000000000000001"}}}});
        tovamod_SetZ5NetsFileStructure(tree);
        z5_nets_free(tree);
    }
    // The model's own radio unit at address, joined to the network.
    void JoinOwnUnit(uint16_t address, int32_t param4 = 0, uint16_t firmware = 0x0105) {
        z5sim::RadioUnit unit = z5sim::RadioUnit::Own(address, kOwnMAC);
        unit.params[0].value = kHardware;
        unit.params[1].value = firmware;
        unit.params[4].value = static_cast<uint64_t>(param4);
        rm->SetParam(4, address);
        rm->Join(unit);
    }
    void Plug() { ASSERT_TRUE(bus.Plug(rm)); }
    bool WaitForItems(int count) {
        return WaitUntil([&] { return window->ComboDevice->count() == count && window->Image1->isVisible(); });
    }
    bool WaitForNoDevice() {
        return WaitUntil([&] { return window->PictureNumber() == 6 && window->ComboDevice->count() == 0; });
    }
    bool WaitForUpdateEnd() {
        return WaitUntil([] { return !UpdateRunning(); });
    }
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        std::ifstream in(root / "update.log");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    size_t LogCount(const std::string& start) const {
        size_t n = 0;
        for (const auto& line : LogLines())
            if (line.rfind(start, 0) == 0) ++n;
        return n;
    }
    // Frames with this CMD received by the Radio Master, for one radio address or any.
    size_t FramesOf(uint8_t cmd, int address = -1) const {
        size_t n = 0;
        for (const auto& frame : rm->ReceivedFrames())
            if (frame.size() >= 5 && frame[2] == cmd && (address < 0 || (frame[3] | frame[4] << 8) == address)) ++n;
        return n;
    }
    // Chooses the window's language as the user does.
    void ChooseLanguage(int language) {
        window->ComboLanguage->setCurrentIndex(language);
        window->ComboLanguageChange();
        ASSERT_EQ(LanguageIndex, language);
    }
    void EnableLog() {
        LogEnabled = 1;
        LogFileName = (root / "update.log").string();
    }

    double savedScale = 1;
    fs::path root, prog;
    z5sim::Bus bus;
    std::shared_ptr<z5sim::RadioMaster> rm = std::make_shared<z5sim::RadioMaster>(z5sim::RadioMaster::kDescription, "RMW1");
    std::unique_ptr<TfrmMain> window;
    QTimer boxWatch;
    QMessageBox* handling = nullptr;
    std::vector<QString> boxes;
    std::function<void()> onBox;  // runs while a box is open, before it is closed
};

}  // namespace mainwin_test
