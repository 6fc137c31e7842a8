// Start-up of the update program against the real library and simulated devices:
// the notice window holds the library back, languages follow the locale and the
// choice is stored, the exit reaches the device, and a folder that cannot be
// written does not stop the program.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "configfile.h"
#include "datafolder.h"
#include "filebytes.h"
#include "global.h"
#include "pictures.h"
#include "rtfreader.h"
#include "tovamod.h"
#include "uInfo.h"
#include "uMain.h"
#include "z5clock.h"
#include "z5sim_bus.h"
#include "z5sim_radiomaster.h"

namespace fs = std::filesystem;

// ---- the program's library calls, recorded on their way to the library ----------

namespace {
std::mutex gCallsLock;
std::vector<std::string> gCalls;

void Record(std::string call) {
    std::lock_guard<std::mutex> g(gCallsLock);
    gCalls.push_back(std::move(call));
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> g(gCallsLock);
    return gCalls;
}

void ClearCalls() {
    std::lock_guard<std::mutex> g(gCallsLock);
    gCalls.clear();
}

template <class F>
F Real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" {
int32_t tovamod_init(void) {
    Record("init");
    return Real<int32_t (*)()>("tovamod_init")();
}
int32_t tovamod_uninit(void) {
    Record("uninit");
    return Real<int32_t (*)()>("tovamod_uninit")();
}
THardwareStructure* tovamod_GetHardwareStructure(void) {
    Record("poll");
    return Real<THardwareStructure* (*)()>("tovamod_GetHardwareStructure")();
}
int32_t tovamod_Device_SendCmdAndGetResponse(void* Device, const char* Cmd, int32_t Reply) {
    Record(std::string("cmd ") + (Cmd ? Cmd : "") + (Device ? "" : " (no device)"));
    return Real<int32_t (*)(void*, const char*, int32_t)>("tovamod_Device_SendCmdAndGetResponse")(Device, Cmd, Reply);
}
}

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
    return true;
}

void Settle(int ms) {
    WaitFor([] { return false; }, ms);
}

// A deadline for a wait of ms protocol milliseconds at the clock's scale, with room
// for the machine.
int ProtocolDeadline(uint32_t ms) {
    return 10000 + static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(z5::Scaled(ms)).count());
}

// FIFOs in place of files. Opening one for reading waits for a writer; should the
// program do so, the guard opens them for writing after a few seconds, which lets
// it go on, and records that it had to.
class FifoGuard {
public:
    explicit FifoGuard(std::vector<QString> paths) : fPaths(std::move(paths)) {
        for (const QString& path : fPaths) EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        fThread = std::thread([this] {
            std::unique_lock lock(fLock);
            if (fDone.wait_for(lock, std::chrono::seconds(5), [this] { return fStop; })) return;
            while (!fStop) {
                for (const QString& path : fPaths) {
                    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        fBlocked = true;
                        ::close(fd);
                    }
                }
                fDone.wait_for(lock, std::chrono::milliseconds(50), [this] { return fStop; });
            }
        });
    }
    ~FifoGuard() {
        {
            std::lock_guard lock(fLock);
            fStop = true;
        }
        fDone.notify_all();
        fThread.join();
    }
    // A FIFO was opened for reading and waited on.
    bool Blocked() const { return fBlocked; }

private:
    std::vector<QString> fPaths;
    std::mutex fLock;
    std::condition_variable fDone;
    bool fStop = false;
    std::atomic<bool> fBlocked{false};
    std::thread fThread;
};

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Closes every message box as it opens and keeps its text.
class BoxCloser {
public:
    BoxCloser() {
        fTimer.setInterval(10);
        QObject::connect(&fTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Texts.push_back(box->text());
                box->done(QMessageBox::Ok);
            }
        });
        fTimer.start();
    }
    std::vector<QString> Texts;

private:
    QTimer fTimer;
};

QString LanguageText(int32_t Id, int32_t Language) {
    QString text;
    GetLanguageText(Id, Language, text);
    return text;
}

QString NoticeText(const QString& file) {
    QFile f(file);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
    QTextDocument doc;
    EXPECT_TRUE(ReadRtf(f.readAll(), &doc));
    return doc.toPlainText();
}

// A Radio Master that the sample setup file offers its three-part update to.
std::shared_ptr<z5sim::RadioMaster> SampleRadioMaster() {
    auto rm = std::make_shared<z5sim::RadioMaster>();
    rm->SetParam(0, 1);
    rm->SetParam(1, 0x0102);
    rm->SetDeviceClass(2);
    return rm;
}

// A program folder of its own with the shipped data, a configuration folder and
// a simulated bus; the windows are created in the program's order.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fTmp.isValid());
        fProgram = fTmp.path() + QStringLiteral("/program/");
        const QDir data(QStringLiteral(KAVREL_DATA_DIR));
        QDir().mkpath(fProgram + QStringLiteral("firmware"));
        const QStringList files = data.entryList({"Z5update.*", "infotext.*.rtf", "z5setup.cfg", "z5lang.cfg"}, QDir::Files);
        ASSERT_GE(files.size(), 24 + 13 + 2);
        for (const QString& f : files) ASSERT_TRUE(QFile::copy(data.filePath(f), fProgram + f));
        for (const QString& f : QDir(data.filePath("firmware")).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(data.filePath("firmware/" + f), fProgram + "firmware/" + f));
        qputenv("ZELTO5_PROGRAM_DIR", fProgram.toUtf8());
        qputenv("XDG_CONFIG_HOME", (fTmp.path() + QStringLiteral("/config")).toUtf8());
        SetLocale("en_US.UTF-8");
        fBus.Export();
        ResetProgramState();
        ClearCalls();
    }

    void TearDown() override {
        fMain.reset();
        fInfo.reset();
        fBus.UnplugAll();
        ResetProgramState();
        qunsetenv("ZELTO5_PROGRAM_DIR");
        qunsetenv("XDG_CONFIG_HOME");
    }

    // The program-wide state, as a fresh start of the program has it.
    static void ResetProgramState() {
        TypeCode.clear();
        SetupConfig.reset();
        LangConfig.reset();
        UpdateJob = TUpdateJob{};
        RadioParam4 = 0;
        DeviceHandle = SensorHandle = nullptr;
        LogEnabled = 0;
        if (LogOpen) CloseLog();
    }

    static void SetLocale(const char* name) {
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        qputenv("LANG", name);
    }

    // Steps 2 to 6 of the start.
    void Start() {
        fInfo = std::make_unique<Tfrm_Info>();
        fInfo->show();
        fInfo->repaint();
        fMain = std::make_unique<TfrmMain>();
        fInfo->SetInitdll([this] { fMain->Initdll(); });
        fMain->show();
        QApplication::processEvents();
    }

    bool DeviceShown(const char* item = "Radio Master") {
        return WaitFor([&] { return fMain->ComboDevice->findText(QString::fromLatin1(item)) >= 0 && DeviceHandle; });
    }

    QString LangList() const { return fProgram + QStringLiteral("z5lang.cfg"); }

    QTemporaryDir fTmp;
    QString fProgram;
    z5sim::Bus fBus;
    std::unique_ptr<Tfrm_Info> fInfo;
    std::unique_ptr<TfrmMain> fMain;
};

TEST_F(Startup, NoticeHoldsTheLibraryBackUntilConfirmed) {
    ASSERT_TRUE(fBus.Plug(SampleRadioMaster()));
    Start();
    EXPECT_TRUE(fInfo->isVisible());
    EXPECT_TRUE(fInfo->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(fInfo->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(fInfo->size(), QSize(447, 360));
    EXPECT_FALSE(fMain->BtnUpdate->isEnabled());

    // Twenty poll periods (scaled): the main window works, the library is untouched.
    Settle(600);
    EXPECT_TRUE(Calls().empty()) << Calls().front();
    EXPECT_FALSE(fMain->Timer1->isActive());
    EXPECT_EQ(fMain->PictureNumber(), 6);
    EXPECT_TRUE(fBus.Find("RM0001")->ReceivedBytes().empty());

    // Only the button leaves the notice: the window manager's close and Escape do not.
    fInfo->close();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(fInfo.get(), &escape);
    EXPECT_TRUE(fInfo->isVisible());

    fInfo->ButtonOK->click();
    EXPECT_FALSE(fInfo->isVisible());
    ASSERT_FALSE(Calls().empty());
    EXPECT_EQ(Calls().front(), "init");
    EXPECT_TRUE(fMain->Timer1->isActive());
    ASSERT_TRUE(DeviceShown());
    EXPECT_EQ(fMain->PictureNumber(), 1);
}

TEST_F(Startup, LocaleChoosesTextsAndNotice) {
    struct Case {
        const char* locale;
        int32_t language;
        const char* notice;
    } cases[] = {
        {"de_DE.UTF-8", 0, "de"},  // 0x07
        {"ar_EG.UTF-8", 5, "uk"},  // 0x01: no Arabic notice
        {"ru_RU.UTF-8", 3, "ru"},
        {"C", 1, "uk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        SetLocale(c.locale);
        Start();
        EXPECT_EQ(LanguageIndex, c.language);
        EXPECT_EQ(fInfo->windowTitle(), LanguageText(1, c.language));
        EXPECT_EQ(fInfo->LabelInfo->text(), LanguageText(2, c.language));
        EXPECT_EQ(fInfo->ButtonOK->text(), LanguageText(3, c.language));
        EXPECT_EQ(fInfo->RichEdit1->toPlainText(), NoticeText(fProgram + "infotext." + c.notice + ".rtf"));
        EXPECT_TRUE(fInfo->RichEdit1->isReadOnly());
        EXPECT_EQ(fMain->windowTitle(), LanguageText(5, c.language) + " 2.1");
        EXPECT_EQ(fMain->GroupBoxDev->title(), LanguageText(7, c.language));
        EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, c.language));
        EXPECT_EQ(fMain->ComboLanguage->currentIndex(), c.language);
        fMain.reset();
        fInfo.reset();
    }
    // The texts differ between the languages, so the comparisons above tell them apart.
    EXPECT_NE(LanguageText(1, 0), LanguageText(1, 1));
    EXPECT_NE(NoticeText(fProgram + "infotext.de.rtf"), NoticeText(fProgram + "infotext.uk.rtf"));
}

TEST_F(Startup, NoticeFileMissingOrBrokenKeepsTheBuiltInTextAndGoesOn) {
    BoxCloser boxes;
    QFile::remove(fProgram + "infotext.uk.rtf");
    Start();
    EXPECT_EQ(boxes.Texts.size(), 1u);
    EXPECT_EQ(fInfo->RichEdit1->toPlainText(), Tfrm_Info::BuiltInText());
    EXPECT_TRUE(fInfo->RichEdit1->toPlainText().contains("3. "));
    fInfo->ButtonOK->click();
    EXPECT_EQ(Calls().front(), "init");

    fMain.reset();
    fInfo.reset();
    QFile bad(fProgram + "infotext.uk.rtf");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("plain text, not rich text");
    bad.close();
    Start();
    ASSERT_EQ(boxes.Texts.size(), 2u);
    EXPECT_TRUE(boxes.Texts[1].contains(fProgram + "infotext.uk.rtf")) << boxes.Texts[1].toStdString();
    EXPECT_EQ(fInfo->RichEdit1->toPlainText(), Tfrm_Info::BuiltInText());
}

TEST_F(Startup, ChosenLanguageRecaptionsAndIsStoredButNotReadAtStart) {
    Start();
    fMain->ComboLanguage->setCurrentIndex(6);
    emit fMain->ComboLanguage->activated(6);
    EXPECT_EQ(LanguageIndex, 6);
    EXPECT_EQ(fMain->windowTitle(), LanguageText(5, 6) + " 2.1");
    EXPECT_EQ(fMain->GroupBoxNew->title(), LanguageText(11, 6));
    EXPECT_EQ(fMain->BtnUpdate->text(), LanguageText(15, 6));
    EXPECT_NE(fMain->BtnUpdate->text(), LanguageText(15, 1));
    EXPECT_EQ(TConfigfile(LangList()).ReadNumber("Einstellungen", "Sprache", -1), 6);

    fMain.reset();
    fInfo.reset();
    Start();
    EXPECT_EQ(LanguageIndex, 1);
    EXPECT_EQ(fMain->ComboLanguage->currentIndex(), 1);
}

TEST_F(Startup, MissingLanguageNameGivesAnEmptyItemWithItsFlag) {
    {
        TConfigfile list(LangList());
        ASSERT_FALSE(list.ReadText("Sprachen", "Lang7", "").isEmpty());
    }
    QFile file(LangList());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    ASSERT_TRUE(text.contains(QStringLiteral("Lang7=")));
    text.remove(QRegularExpression("Lang7=[^\r]*\r\n"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("\xFF\xFE", 2);
    file.write(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    file.close();

    Start();
    ASSERT_EQ(fMain->ComboLanguage->count(), 24);
    EXPECT_TRUE(fMain->ComboLanguage->itemText(6).isEmpty());
    EXPECT_FALSE(fMain->ComboLanguage->itemText(7).isEmpty());

    // The empty item still draws its flag at the item's corner.
    QImage canvas(200, 18, QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        fMain->ComboLanguageDrawItem(painter, 6, QRect(0, 0, 200, 18));
    }
    const QImage flag = LanguageFlag(6).toImage().convertToFormat(QImage::Format_ARGB32);
    int same = 0;
    for (int y = 2; y < 17; ++y)
        for (int x = 0; x < 20; ++x) same += canvas.pixel(x, y) == flag.pixel(x, y);
    EXPECT_EQ(same, 20 * 15);
    for (int x = 28; x < 200; ++x) ASSERT_EQ(canvas.pixel(x, 8), qRgb(255, 255, 255)) << x;
}

TEST_F(Startup, ExitSendsTheClosingCommandsThenShutsTheLibraryDown) {
    ASSERT_TRUE(fBus.Plug(SampleRadioMaster()));
    Start();
    fInfo->ButtonOK->click();
    ASSERT_TRUE(DeviceShown());
    ClearCalls();
    fMain->BtnExit->click();
    ASSERT_TRUE(WaitFor([&] { return !fMain->isVisible(); }));
    std::vector<std::string> calls = Calls();
    std::erase(calls, "poll");
    EXPECT_EQ(calls, (std::vector<std::string>{"cmd 0025,1,\r", "uninit"}));
    EXPECT_EQ(Real<THardwareStructure* (*)()>("tovamod_GetHardwareStructure")(), nullptr);
}

TEST_F(Startup, TitleBarCloseShutsTheLibraryDownAndIsRefusedDuringAnUpdate) {
    // One part of the sample firmware: the update ends after its pause.
    QFile setup(fProgram + "z5setup.cfg");
    ASSERT_TRUE(setup.open(QIODevice::WriteOnly | QIODevice::Truncate));
    setup.write("[RTUU]\r\nFirmwarenumber=515\r\nMaxFilenames=1\r\nFilename1=firmware/rtuu_part1.bin\r\n"
                "Devicetyp=2\r\nHardwarenumbers=1\r\nHardwareVersion1=1\r\n");
    setup.close();
    ASSERT_TRUE(fBus.Plug(SampleRadioMaster()));
    Start();
    fInfo->ButtonOK->click();
    ASSERT_TRUE(DeviceShown());
    ASSERT_TRUE(WaitFor([&] { return fMain->BtnUpdate->isEnabled(); }));

    // The first part goes through; the pause before the next one is running.
    fMain->BtnUpdate->click();
    ASSERT_TRUE(UpdateRunning()) << fMain->Label3->text().toStdString() << " / " << fMain->Label6->text().toStdString();
    ClearCalls();
    EXPECT_FALSE(fMain->close());
    EXPECT_TRUE(fMain->isVisible());

    // The part and the 10 s pause after it.
    ASSERT_TRUE(WaitFor([] { return !UpdateRunning(); }, ProtocolDeadline(30000)));
    ClearCalls();
    EXPECT_TRUE(fMain->close());
    std::vector<std::string> calls = Calls();
    std::erase(calls, "poll");
    EXPECT_EQ(calls, std::vector<std::string>{"uninit"});  // no closing commands on this way out
    EXPECT_EQ(Real<THardwareStructure* (*)()>("tovamod_GetHardwareStructure")(), nullptr);
}

// An update cut short by closing the program leaves nothing behind for the next start.
TEST_F(Startup, AnUpdateEndsWithItsWindow) {
    ASSERT_TRUE(fBus.Plug(SampleRadioMaster()));
    Start();
    fInfo->ButtonOK->click();
    ASSERT_TRUE(DeviceShown());
    ASSERT_TRUE(WaitFor([&] { return fMain->BtnUpdate->isEnabled(); }));
    fMain->BtnUpdate->click();
    ASSERT_TRUE(UpdateRunning());
    fMain.reset();
    fInfo.reset();
    EXPECT_FALSE(UpdateRunning());
}

TEST_F(Startup, TitleBarCloseBeforeTheNoticeNeedsNoLibrary) {
    Start();
    EXPECT_TRUE(fMain->close());
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Startup, UnwritableFolderForTheLanguageListStartsSaysSoOnceAndGoesOn) {
    // The language list can neither be found nor created (a folder stands in its
    // way, as a write-protected folder would, also for root).
    QFile::remove(LangList());
    QDir().mkpath(LangList());
    qputenv("XDG_CONFIG_HOME", "/proc");
    BoxCloser boxes;
    ASSERT_TRUE(fBus.Plug(SampleRadioMaster()));
    Start();
    EXPECT_EQ(boxes.Texts.size(), 1u);
    EXPECT_TRUE(boxes.Texts.empty() || boxes.Texts[0].contains("z5lang.cfg"));
    // The notice and the main window still have their texts.
    EXPECT_EQ(fInfo->ButtonOK->text(), LanguageText(3, 1));
    EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, 1));
    EXPECT_EQ(fMain->ComboLanguage->count(), 24);

    fMain->ComboLanguage->setCurrentIndex(3);
    emit fMain->ComboLanguage->activated(3);
    EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, 3));
    EXPECT_EQ(boxes.Texts.size(), 1u);

    fInfo->ButtonOK->click();
    EXPECT_TRUE(DeviceShown());
}

TEST_F(Startup, LanguageListThatCannotBeWrittenIsReportedOnceAndLeftAlone) {
    // Readable, but no write reaches it (also for root).
    QFile::remove(LangList());
    ASSERT_TRUE(QFile::link("/proc/version", LangList()));
    BoxCloser boxes;
    Start();
    EXPECT_TRUE(boxes.Texts.empty());
    for (int language : {3, 6, 0}) {
        fMain->ComboLanguage->setCurrentIndex(language);
        emit fMain->ComboLanguage->activated(language);
        EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, language));
    }
    EXPECT_EQ(boxes.Texts.size(), 1u);
}

// Files of the program that cannot be read (a FIFO, a folder, a link loop, a
// file just over the size limit): none is waited on, each is reported as
// unreadable like a missing one, naming it (the chosen language's texts fall
// back to English).
TEST_F(Startup, ProgramFilesThatCannotBeRead) {
    struct Kind {
        const char* what;
        std::function<void(const QString&)> make;
    };
    const Kind kinds[] = {
        {"FIFO", nullptr},  // made by the guard
        {"folder", [](const QString& path) { ASSERT_TRUE(QDir().mkdir(path)); }},
        {"link loop", [](const QString& path) { ASSERT_TRUE(QFile::link(QFileInfo(path).fileName(), path)); }},
        {"too large", [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             ASSERT_TRUE(file.resize(MaxTextFileSize + 1));
         }},
    };
    struct Case {
        const char* file;
        const char* locale;
        size_t boxes;
    };
    const Case cases[] = {
        {"z5setup.cfg", "en_US.UTF-8", 1},
        {"z5lang.cfg", "en_US.UTF-8", 1},
        {"infotext.uk.rtf", "en_US.UTF-8", 1},
        {"Z5update.de", "de_DE.UTF-8", 0},
    };
    for (const Kind& kind : kinds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(kind.what) + " " + c.file);
            const QString path = fProgram + c.file;
            ASSERT_TRUE(QFile::remove(path));
            SetLocale(c.locale);
            BoxCloser boxes;
            {
                FifoGuard fifo(kind.make ? std::vector<QString>{} : std::vector<QString>{path});
                if (kind.make) kind.make(path);
                Start();
                EXPECT_FALSE(fifo.Blocked());
                EXPECT_TRUE(fMain->isVisible());
                EXPECT_EQ(boxes.Texts.size(), c.boxes);
                for (const QString& text : boxes.Texts) EXPECT_TRUE(text.contains(path)) << text.toStdString();
                EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, 1));
                fMain.reset();
                fInfo.reset();
                ResetProgramState();
            }
            ASSERT_TRUE(QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path));
            ASSERT_TRUE(QFile::copy(QStringLiteral(KAVREL_DATA_DIR "/") + c.file, path));
        }
    }
}

// A language list read only in part (UTF-16 without a byte-order mark, a NUL in
// the text) is never saved back over the whole file; the user is told once.
TEST_F(Startup, LanguageListReadOnlyInPartIsNotSaved) {
    const QByteArray shipped = FileBytes(LangList());
    ASSERT_TRUE(shipped.startsWith("\xFF\xFE"));
    const int at = shipped.indexOf(QByteArray("L\0a\0n\0g\0\x31\0\x30\0", 12));  // "Lang10"
    ASSERT_GT(at, 0);
    struct Case {
        const char* what;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"UTF-16 without a mark", shipped.mid(2)},
        {"a NUL inside", shipped.left(at) + QByteArray(2, '\0') + shipped.mid(at)},
        {"a stray 0x00 byte between characters", shipped.left(at) + '\0' + shipped.mid(at)},
        {"a stray 0x00 byte inside a character", shipped.left(at + 1) + '\0' + shipped.mid(at + 1)},
    };
    QStringList names;
    {
        TConfigfile list(LangList());
        for (int k = 1; k <= 24; ++k) names << list.ReadText("Sprachen", QStringLiteral("Lang%1").arg(k), QString());
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile file(LangList());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.bytes);
        file.close();
        BoxCloser boxes;
        Start();
        EXPECT_TRUE(boxes.Texts.empty());
        // The names before the fault, none shifted into garbage after it.
        if (c.bytes.startsWith("\xFF\xFE")) {
            for (int k = 0; k < 9; ++k) EXPECT_EQ(fMain->ComboLanguage->itemText(k), names[k]) << k;
            for (int k = 9; k < 24; ++k) EXPECT_EQ(fMain->ComboLanguage->itemText(k), QString()) << k;
        }
        for (int language : {3, 6}) {
            fMain->ComboLanguage->setCurrentIndex(language);
            emit fMain->ComboLanguage->activated(language);
            EXPECT_EQ(fMain->BtnExit->text(), LanguageText(16, language));
        }
        ASSERT_EQ(boxes.Texts.size(), 1u);
        EXPECT_TRUE(boxes.Texts[0].contains("z5lang.cfg"));
        EXPECT_EQ(FileBytes(LangList()), c.bytes);
        fMain.reset();
        fInfo.reset();
        ResetProgramState();
    }
}

// A save that cannot be completed (here: the file size limit, as a full disk
// would) leaves the language list as it was.
TEST_F(Startup, LanguageListIsSavedWholeOrNotAtAll) {
    const QByteArray shipped = FileBytes(LangList());
    BoxCloser boxes;
    Start();
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    fMain->ComboLanguage->setCurrentIndex(6);
    emit fMain->ComboLanguage->activated(6);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(boxes.Texts.size(), 1u);
    EXPECT_EQ(FileBytes(LangList()).size(), shipped.size());
    EXPECT_EQ(FileBytes(LangList()), shipped);
    EXPECT_EQ(QDir(fProgram).entryList({"z5lang.cfg*"}, QDir::Files | QDir::System), QStringList{"z5lang.cfg"});
}

TEST(DataFolder, InstalledDataAndTheUsersCopyOfTheLanguageList) {
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QDir().mkpath(root + "/prefix/bin");
    QDir().mkpath(root + "/prefix/share/zelto5");
    QFile(root + "/prefix/share/zelto5/Z5update.uk").open(QIODevice::WriteOnly);
    qputenv("ZELTO5_PROGRAM_DIR", (root + "/prefix/bin").toUtf8());
    EXPECT_EQ(FindDataDir(), root + "/prefix/share/zelto5/");
    // Data beside the program wins.
    QFile(root + "/prefix/bin/Z5update.uk").open(QIODevice::WriteOnly);
    EXPECT_EQ(FindDataDir(), root + "/prefix/bin/");

    qputenv("XDG_CONFIG_HOME", (root + "/config").toUtf8());
    EXPECT_EQ(WritableFileName(root + "/prefix/bin/", "z5lang.cfg"), root + "/prefix/bin/z5lang.cfg");
    EXPECT_EQ(WritableFileName("/proc/", "z5lang.cfg"), root + "/config/zelto5/z5lang.cfg");
    // Nowhere to write: the shipped file is read, and writing it fails later.
    qputenv("XDG_CONFIG_HOME", "/proc");
    EXPECT_EQ(WritableFileName("/proc/", "z5lang.cfg"), QString("/proc/z5lang.cfg"));
    qunsetenv("ZELTO5_PROGRAM_DIR");
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
