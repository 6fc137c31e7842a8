#include "uMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bidi.h"
#include "crc.h"
#include "datafolder.h"
#include "global.h"
#include "handlerguard.h"
#include "pictures.h"
#include "statusfile.h"
#include "textconv.h"
#include "tovamod.h"
#include "z5clock.h"
#include "z5programdir.h"
#include "z5pump.h"

void* DeviceHandle = nullptr;
void* SensorHandle = nullptr;
int32_t RadioParam4 = 0;
int32_t InstalledFirmware = 0;
int32_t LanguageIndex = 1;
QChar DecimalSeparator = u'.';
std::unique_ptr<TConfigfile> SetupConfig;
std::unique_ptr<TConfigfile> LangConfig;
TUpdateJob UpdateJob;
uint32_t DisplayGeneration = 0;

namespace {

bool gUpdateRunning = false;
int gLibraryDepth = 0;

// Marks the time spent inside library calls; events pumped meanwhile must not
// start another library request.
class LibrarySection {
public:
    LibrarySection() { ++gLibraryDepth; }
    ~LibrarySection() { --gLibraryDepth; }
    LibrarySection(const LibrarySection&) = delete;
    LibrarySection& operator=(const LibrarySection&) = delete;
};

// The library's reply waits run the window's events.
void PumpQtEvents() {
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
        QCoreApplication::processEvents();
}

const QColor kWhite(0xFF, 0xFF, 0xFF);
const QColor kRed(0xFF, 0x00, 0x00);
const QColor kLightGreen(0xC0, 0xDC, 0xC0);

// Language list items: flag at the top-left, text beside it.
class LanguageDelegate : public QStyledItemDelegate {
public:
    LanguageDelegate(TfrmMain* form, QObject* parent) : QStyledItemDelegate(parent), fForm(form) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->save();
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(option.rect, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        fForm->ComboLanguageDrawItem(*painter, index.row(), option.rect);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(18);
        return s;
    }

private:
    TfrmMain* fForm;
};

// Flag with every 0x808080 pixel transparent.
QPixmap FlagPicture(int k) {
    QImage image = LanguageFlag(k).toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0x808080) line[x] = 0;
    }
    return QPixmap::fromImage(image);
}

}  // namespace

bool UpdateRunning() { return gUpdateRunning; }
bool LibraryBusy() { return gLibraryDepth > 0; }
TLibraryCall::TLibraryCall() { ++gLibraryDepth; }
TLibraryCall::~TLibraryCall() { --gLibraryDepth; }

QString VersionText(int32_t Version) {
    const auto v = static_cast<uint32_t>(Version);
    return QString::number((v >> 8) & 0xFF) + u'.' + QString::number(v & 0xFF);
}

// ---- form --------------------------------------------------------------------

TfrmMain::TfrmMain(QWidget* parent) : QWidget(parent) {
    LayOut();
    MirrorStatusPanel(Panel2, Label3, Label6);
    Timer1 = new QTimer(this);
    Timer1->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(z5::Scaled(500)));
    connect(Timer1, &QTimer::timeout, this, &TfrmMain::Timer1Timer);
    waittimer = new QTimer(this);
    waittimer->setInterval(std::chrono::duration_cast<std::chrono::milliseconds>(z5::Scaled(10000)));
    connect(waittimer, &QTimer::timeout, this, &TfrmMain::waittimerTimer);
    connect(ComboDevice, &QComboBox::activated, this, [this] { ComboDeviceChange(); });
    connect(ComboLanguage, &QComboBox::activated, this, [this] { ComboLanguageChange(); });
    connect(BtnUpdate, &QPushButton::clicked, this, [this] { BtnUpdateClick(); });
    connect(BtnExit, &QPushButton::clicked, this, [this] { BtnExitClick(); });
    z5::SetMessagePump(PumpQtEvents);
    TntFormCreate();
}

TfrmMain::~TfrmMain() {
    Timer1->stop();
    waittimer->stop();
    // An update in progress ends with its window.
    gUpdateRunning = false;
    // No events reach a window that is being destroyed.
    z5::SetMessagePump(nullptr);
    if (fLibraryInitialised && !fLibraryShutDown) {
        DeviceHandle = nullptr;
        SensorHandle = nullptr;
        tovamod_uninit();
        fLibraryShutDown = true;
    }
    SetHourglass(false);
}

void TfrmMain::LayOut() {
    setFixedSize(610, 487);
    QFont base = font();
    base.setFamilies({QStringLiteral("Arial Unicode MS"), QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")});
    base.setPixelSize(12);
    setFont(base);
    QFont bold = base;
    bold.setBold(true);
    QFont big = base;
    big.setBold(true);
    big.setPixelSize(17);

    GroupBoxDev = new QGroupBox(this);
    GroupBoxDev->setGeometry(8, 8, 356, 140);
    LabelBezeich = new QLabel(GroupBoxDev);
    LabelBezeich->setGeometry(12, 23, 136, 34);
    ComboDevice = new QComboBox(GroupBoxDev);
    ComboDevice->setGeometry(150, 28, 194, 24);
    LabelSoftw = new QLabel(GroupBoxDev);
    LabelSoftw->setGeometry(12, 59, 136, 34);
    EditFirmware = new QLineEdit(GroupBoxDev);
    EditFirmware->setGeometry(150, 64, 100, 24);
    EditFirmware->setReadOnly(true);
    LabelHardw = new QLabel(GroupBoxDev);
    LabelHardw->setGeometry(12, 95, 136, 34);
    EditHardware = new QLineEdit(GroupBoxDev);
    EditHardware->setGeometry(150, 100, 100, 24);
    EditHardware->setReadOnly(true);

    GroupBoxNew = new QGroupBox(this);
    GroupBoxNew->setGeometry(8, 156, 356, 76);
    LabelNewSoftw = new QLabel(GroupBoxNew);
    LabelNewSoftw->setGeometry(12, 27, 136, 34);
    EditNewFirmware = new QLineEdit(GroupBoxNew);
    EditNewFirmware->setGeometry(150, 32, 100, 24);
    EditNewFirmware->setEnabled(false);

    Image1 = new QLabel(this);
    Image1->setGeometry(376, 9, 223, 223);

    Panel2 = new QFrame(this);
    Panel2->setGeometry(8, 242, 594, 112);
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    Panel2->setAutoFillBackground(true);
    LabelStatus = new QLabel(Panel2);
    Label3 = new QLabel(Panel2);
    LabelDauer = new QLabel(Panel2);
    TimeL = new QLabel(Panel2);
    LabelInfo = new QLabel(Panel2);
    Label6 = new QLabel(Panel2);
    Label6->setFont(bold);
    Label6->setWordWrap(true);
    PlaceStatusPanel(Qt::LeftToRight);
    SetPanelColor(kWhite);

    BtnUpdate = new QPushButton(this);
    BtnUpdate->setGeometry(8, 364, 290, 52);
    BtnUpdate->setFont(big);
    BtnExit = new QPushButton(this);
    BtnExit->setGeometry(312, 364, 290, 52);
    BtnExit->setFont(big);

    auto* bar = new QFrame(this);
    bar->setGeometry(0, 426, 610, 61);
    bar->setFrameShape(QFrame::HLine);
    bar->setFrameShape(QFrame::NoFrame);
    bar->setAutoFillBackground(true);
    QPalette barPalette = bar->palette();
    barPalette.setColor(QPalette::Window, QColor(0xE8, 0xEC, 0xF0));
    bar->setPalette(barPalette);
    bar->lower();
    Image2 = new QLabel(this);
    Image2->setGeometry(8, 436, 150, 40);
    Image2->setPixmap(LogoPicture());
    Image2->installEventFilter(this);
    LabelMaker = new QLabel(this);
    LabelMaker->setGeometry(168, 436, 220, 18);
    LabelMaker->setFont(bold);
    LabelMaker->setText(QStringLiteral("Norrvik Messgeräte GmbH"));
    LabelMakerAddress = new QLabel(this);
    LabelMakerAddress->setGeometry(168, 456, 220, 18);
    LabelMakerAddress->setText(QStringLiteral("www.norrvik-messgeraete.example"));
    ComboLanguage = new QComboBox(this);
    ComboLanguage->setGeometry(398, 444, 204, 24);
    ComboLanguage->setItemDelegate(new LanguageDelegate(this, ComboLanguage));
    ComboLanguage->setIconSize(QSize(kLanguageFlagSize, kLanguageFlagSize));
    ComboLanguage->setMaxVisibleItems(24);
    // Long captions of some languages take a second line instead of running under the boxes.
    for (QLabel* label : {LabelBezeich, LabelSoftw, LabelHardw, LabelNewSoftw}) label->setWordWrap(true);
}

void TfrmMain::PlaceStatusPanel(Qt::LayoutDirection Direction) {
    // Captions in the column where reading starts, each value right after its
    // caption. Every label aligns to the reading start of the language, whatever
    // its own text: "1 min" stands beside an Arabic caption as a sentence does.
    Panel2->setLayoutDirection(Direction);
    const bool rtl = Direction == Qt::RightToLeft;
    const auto place = [this, rtl](QLabel* label, int x, int y, int width, int height) {
        label->setGeometry(rtl ? Panel2->width() - x - width : x, y, width, height);
        label->setAlignment((rtl ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute |
                            (label == Label6 ? Qt::AlignTop : Qt::AlignVCenter));
    };
    place(LabelStatus, 10, 8, 130, 20);
    place(Label3, 144, 8, 440, 20);
    place(LabelDauer, 10, 32, 130, 20);
    place(TimeL, 144, 32, 440, 20);
    place(LabelInfo, 10, 56, 130, 20);
    place(Label6, 144, 56, 440, 50);
}

QColor TfrmMain::PanelColor() const { return Panel2->palette().color(QPalette::Window); }

void TfrmMain::SetPanelColor(const QColor& color) {
    QPalette p = Panel2->palette();
    p.setColor(QPalette::Window, color);
    Panel2->setPalette(p);
    Panel2->repaint();
}

void TfrmMain::ShowAtOnce(QLabel* label, const QString& text) {
    label->setText(text);
    label->repaint();
}

QString TfrmMain::Text(int32_t Id) const {
    QString text;
    GetLanguageText(Id, LanguageIndex, text);
    return text;
}

void TfrmMain::SetHourglass(bool on) {
    if (on == fHourglass) return;
    fHourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfrmMain::WhenIdle(std::function<void()> action) {
    if (Idle()) {
        action();
        return;
    }
    fDeferred.push_back(std::move(action));
    if (!fDeferredPosted) {
        fDeferredPosted = true;
        QTimer::singleShot(0, this, &TfrmMain::RunDeferred);
    }
}

void TfrmMain::RunDeferred() {
    fDeferredPosted = false;
    if (!Idle()) {
        // Still inside a call, a pass or a part: look again shortly.
        fDeferredPosted = true;
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(z5::Scaled(20)), this,
                           &TfrmMain::RunDeferred);
        return;
    }
    std::vector<std::function<void()>> actions;
    actions.swap(fDeferred);
    for (auto& action : actions) action();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image2 && event->type() == QEvent::MouseButtonDblClick) {
        Image2DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!fShownOnce) {
        fShownOnce = true;
        TntFormShow();
    }
}

// ---- start-up, languages, exit ------------------------------------------------

namespace {

QString SetupFileName() { return ExeDir + QStringLiteral("z5setup.cfg"); }

}  // namespace

void TfrmMain::TntFormCreate() {
    for (int k = 0; k < kLanguageFlagCount; ++k) fFlags[static_cast<size_t>(k)] = FlagPicture(k);
    ProgramVersion = "2.1";
    VersionCheck = 1;
    ExeDir = FindDataDir();
    // Each file on its own, so that one that cannot be created costs only its own object.
    Guarded(this, [] { SetupConfig = std::make_unique<TConfigfile>(SetupFileName()); });
    Guarded(this, [] { LangConfig = std::make_unique<TConfigfile>(WritableFileName(ExeDir, QStringLiteral("z5lang.cfg"))); });
    Guarded(this, [this] {
        UpdateJob.PartIndex = 1;
        BtnUpdate->setEnabled(false);
        ShowAtOnce(Label3, Text(18));
        SetPanelColor(kWhite);
        setpicture(6);
        LanguageIndex = StartLanguage();
        ComboLanguage->clear();
        for (int k = 1; k <= LanguageCount; ++k) {
            const QString name = LangConfig ? LangConfig->ReadText(QStringLiteral("Sprachen"),
                                                                    QStringLiteral("Lang") + QString::number(k), QString())
                                            : QString();
            ComboLanguage->addItem(QIcon(fFlags[static_cast<size_t>(k - 1)]), name);
        }
        SetSpecificLanguageTxt();
    });
}

void TfrmMain::TntFormShow() {
    Guarded(this, [] { DecimalSeparator = u','; });
}

void TfrmMain::SetSpecificLanguageTxt() {
    Guarded(this, [this] {
        ComboLanguage->setCurrentIndex(LanguageIndex);
        setWindowTitle(Text(5) + u' ' + QString::fromStdString(ProgramVersion));
        GroupBoxDev->setTitle(Text(7));
        LabelBezeich->setText(Text(8));
        LabelSoftw->setText(Text(9));
        LabelHardw->setText(Text(10));
        GroupBoxNew->setTitle(Text(11));
        LabelNewSoftw->setText(Text(9));
        LabelStatus->setText(Text(12));
        LabelDauer->setText(Text(13));
        LabelInfo->setText(Text(14));
        // The language's own caption tells its reading direction.
        PlaceStatusPanel(Text(12).isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        BtnUpdate->setText(Text(15));
        BtnExit->setText(Text(16));
        // A language file without any texts is reported once; its captions came from English.
        QStringList unreported;
        for (const QString& name : LanguageFilesWithoutTexts(LanguageIndex))
            if (!fReportedLanguageFiles.contains(name)) unreported << name;
        fReportedLanguageFiles << unreported;
        if (!unreported.isEmpty()) throw TFileError("No language texts in " + unreported.join(QStringLiteral(", ")).toStdString());
    });
}

void TfrmMain::ComboLanguageChange() {
    // Touches no device: runs also while a library call waits.
    Guarded(this, [this] {
        const int index = ComboLanguage->currentIndex();
        if (index < 0) return;
        LanguageIndex = index;
        SetSpecificLanguageTxt();
        if (LangConfig) {
            try {
                LangConfig->WriteNumber(QStringLiteral("Einstellungen"), QStringLiteral("Sprache"), LanguageIndex);
            } catch (const TFileError&) {
                // A list that cannot be written is reported once; later choices are not stored.
                LangConfig.reset();
                throw;
            }
        }
    });
}

void TfrmMain::ComboLanguageDrawItem(QPainter& Canvas, int Index, const QRect& Rect) {
    int offset = 0;
    if (Index >= 0 && Index < kLanguageFlagCount) {
        const QPixmap& flag = fFlags[static_cast<size_t>(Index)];
        if (!flag.isNull()) {
            Canvas.drawPixmap(Rect.topLeft(), flag);
            offset = flag.width() + 8;
        }
    }
    const QString text = ComboLanguage->itemText(Index);
    Canvas.drawText(QRect(Rect.left() + offset, Rect.top(), 10000, 10000), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                    text);
}

void TfrmMain::Initdll() {
    Guarded(this, [this] {
        int32_t result;
        {
            LibrarySection busy;
            result = tovamod_init();
        }
        if (result != 0) {
            // The networks file is the one thing the library loads at its start.
            SetPanelColor(kRed);
            ShowAtOnce(Label3, Text(47));
            ShowAtOnce(Label6, Text(48) + u' ' + LeftToRight(NetworksFileShown()));
            return;
        }
        fLibraryInitialised = true;
        fLibraryShutDown = false;
        Timer1->start();
    });
}

void TfrmMain::BtnExitClick() {
    WhenIdle([this] {
        Guarded(this, [this] {
            if (UpdateRunning()) return;
            Timer1->stop();
            if (fLibraryInitialised && !fLibraryShutDown) {
                LibrarySection busy;
                if (TypeCode == "DLU" || TypeCode == "DDS") tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0018,1,\r", 0);
                tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0025,1,\r", 0);
                DeviceHandle = nullptr;
                SensorHandle = nullptr;
                tovamod_uninit();
                fLibraryShutDown = true;
            }
            DeviceHandle = nullptr;
            SensorHandle = nullptr;
            SetupConfig.reset();
            LangConfig.reset();
            close();
        });
    });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (UpdateRunning()) {
        event->ignore();
        return;
    }
    if (!Idle()) {
        // Closing from inside a library wait: close once the call has returned.
        event->ignore();
        WhenIdle([this] { close(); });
        return;
    }
    Timer1->stop();
    waittimer->stop();
    if (fLibraryInitialised && !fLibraryShutDown) {
        // The handles die with the library; events pumped meanwhile must not use them.
        DeviceHandle = nullptr;
        SensorHandle = nullptr;
        LibrarySection busy;
        tovamod_uninit();
        fLibraryShutDown = true;
    }
    event->accept();
}

void TfrmMain::Image2DblClick() {
    Guarded(this, [this] {
        if (UpdateRunning() || !Idle() || !frmOptions) return;
        frmOptions->exec();
        ComboDeviceChange();
    });
}

// ---- device display ------------------------------------------------------------

void TfrmMain::setpicture(int32_t n) {
    fPicture = n;
    Image1->setPixmap(DevicePicture(n));
    Image1->repaint();
}

void TfrmMain::Timer1Timer() {
    // A tick inside a pass (under its message box), a part or a library wait is dropped.
    if (!Idle()) return;
    LookForNewDevices();
}

namespace {

// Runs one library call, marked as such for the events pumped meanwhile.
template <class F>
auto Lib(F&& call) {
    LibrarySection busy;
    return call();
}

// The firmware that the setup file offers in Section (256 when it names none);
// false when the file cannot be read or holds no such section.
bool ReadOffer(const QString& Section, int32_t& Firmware) {
    Firmware = 256;
    if (!SetupConfig) return false;
    try {
        if (!SetupConfig->HasSection(Section)) return false;
        Firmware = ParseInt32(SetupConfig->FindValue(Section, QStringLiteral("Firmwarenumber"), QString())).value_or(256);
    } catch (const TFileError&) {
        return false;
    }
    return true;
}

// The device kinds of the display, with what the poll and the version pass show.
struct DeviceRow {
    uint8_t Kind;
    const char* Item;
    const char* Code;
    int32_t PollPicture;
    int32_t Picture;
    const char* Duration;
    std::array<const char*, 2> Commands;
};

constexpr std::array<DeviceRow, 9> kDevices{{
    {TOVAMOD_KIND_RADIO_MASTER, "Radio Master", "RTUU", 1, 1, "1 min", {nullptr, nullptr}},
    {TOVAMOD_KIND_DESK_PORT, "Desk-Port", "DUU", 4, 4, "1 min", {nullptr, nullptr}},
    {TOVAMOD_KIND_STARTER_PORT, "Starter-Port", "ST", 4, 12, "1 min", {nullptr, nullptr}},
    {TOVAMOD_KIND_SPEED_OF_LIGHT, "Speed of Light Meter", "LIGHTSPEED", 7, 7, "3 min", {nullptr, nullptr}},
    {TOVAMOD_KIND_UNIVERSAL_COUNTER, "Universal Counter", "UNIZ", 8, 8, "2 min", {"0017,1,\r", nullptr}},
    {TOVAMOD_KIND_TIMER62, "Timer 6-2", "TIMER62", 9, 9, "2 min", {"0017,1,\r", nullptr}},
    {TOVAMOD_KIND_FUNCTION_GENERATOR, "Digital Function Generator", "DDS", 10, 10, "2 min", {"0017,1,\r", "0026,1,\r"}},
    {TOVAMOD_KIND_XRAY, "XG 7.1", "XRAY", 11, 11, "1 min", {nullptr, nullptr}},
    {TOVAMOD_KIND_FIELD_PORT, "Field-Port", "DLU", 5, 5, "2 min", {nullptr, nullptr}},
}};

const QString kRadioPort = QStringLiteral("Radio-Port");
const QString kRelayPort = QStringLiteral("Relay-Port");
const QString kFunctionGenerator = QStringLiteral("Digital Function Generator");

}  // namespace

int32_t DluFirmwareNumber(const std::string& Text) {
    const size_t point = Text.find('.');
    const std::string major = Text.substr(0, point);
    const std::string minor = point == std::string::npos ? std::string() : Text.substr(point + 1);
    const auto digits = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (major.empty() || major.size() > 3 || !digits(major) || !digits(minor)) return -1;
    if (point != std::string::npos && minor.empty()) return -1;
    int32_t minorValue = 0;
    if (!minor.empty()) minorValue = (minor[0] - '0') * 10 + (minor.size() > 1 ? minor[1] - '0' : 0);
    return std::stoi(major) * 256 + minorValue;
}

bool TfrmMain::Idle() const { return !LibraryBusy() && !fInPollPass && !fInClick; }

void TfrmMain::LookForNewDevices() {
    if (fInPollPass) return;
    fInPollPass = true;
    Guarded(this, [this] { PollPass(); });
    fInPollPass = false;
    fRebuilding = false;
}

void TfrmMain::PollPass() {
    THardwareStructure* copy = Lib([] { return tovamod_GetHardwareStructure(); });
    if (!copy || copy->Changed == 0) return;
    // The copy is the library's until this thread asks for the next one; take what the pass needs now.
    const TDeviceStructure* first = copy->First;
    const bool second = first && first->Next;
    const uint8_t kind = first ? first->Kind : 0;
    ++DisplayGeneration;
    fRebuilding = true;
    // A refusal must never come from an earlier device's radio unit.
    RadioParam4 = 0;

    SetPanelColor(kWhite);
    fReadFailureShown = false;
    setpicture(6);
    DeviceHandle = first ? first->Device : nullptr;
    SensorHandle = (first && first->Sensors) ? first->Sensors->Sensor : nullptr;
    ShowAtOnce(Label6, QString());
    ShowAtOnce(Label3, QString());
    ComboDevice->clear();
    TimeL->clear();

    if (!first) {
        EditFirmware->clear();
        EditHardware->clear();
        BtnUpdate->setEnabled(false);
        ComboDevice->clear();
        Label3->setText(Text(18));
        return;
    }
    if (second) {
        // Ticks meanwhile are dropped, so boxes never stack.
        QMessageBox::critical(this, windowTitle(), Text(20));
        EditFirmware->clear();
        EditHardware->clear();
        BtnUpdate->setEnabled(false);
        Image1->hide();
        Label3->setText(Text(18));
        return;
    }

    for (const DeviceRow& row : kDevices) {
        if (row.Kind != kind) continue;
        if (kind == TOVAMOD_KIND_RADIO_MASTER) {
            Lib([] { return tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0009,0,\r", 0); });
            if (!SensorHandle) {
                ComboDevice->addItem(QString::fromLatin1(row.Item));
                ComboDevice->setCurrentIndex(0);
            } else {
                const int32_t a = Lib([] { return tovamod_Device_GetRTUUParam(DeviceHandle, 4); });
                RadioParam4 = static_cast<int32_t>(Lib([] { return tovamod_Sensor_GetRtcuParam(SensorHandle, 4); }));
                Lib([] { return tovamod_Sensor_SetRtcuParam(SensorHandle, 29, 1, RadioParam4); });
                ComboDevice->addItem(QString::fromLatin1(row.Item));
                ComboDevice->addItem(a >= 255 ? kRadioPort : kRelayPort);
                ComboDevice->setCurrentIndex(1);
            }
            TypeCode = row.Code;
            setpicture(row.PollPicture);
            TimeL->setText(QString::fromLatin1(row.Duration));
            Image1->show();
        } else {
            ComboDevice->addItem(QString::fromLatin1(row.Item));
            ComboDevice->setCurrentIndex(0);
            TimeL->setText(QString::fromLatin1(row.Duration));
            setpicture(row.PollPicture);
            Image1->show();
            TypeCode = row.Code;
        }
        VersionPass();
    }

    if (!DeviceHandle) {
        EditFirmware->clear();
        EditHardware->clear();
        BtnUpdate->setEnabled(false);
        Image1->hide();
        Label3->setText(Text(18));
    } else if (!fReadFailureShown) {
        Label3->setText(Text(21));
    }
}

void TfrmMain::ComboDeviceChange() {
    WhenIdle([this] {
        // Deferred past the start of an update: the update owns the controls now.
        if (UpdateRunning()) return;
        Guarded(this, [this] { VersionPass(); });
    });
}

void TfrmMain::VersionPass() {
    BtnUpdate->setEnabled(false);
    // No device known (it was removed): nothing to read, nothing to update.
    if (!DeviceHandle) return;
    const QString code = QString::fromStdString(TypeCode);
    // A read that failed gives -1; the data logger's text gives -1 when it is not a version.
    bool unread = false;
    bool offered = true;
    if (ComboDevice->currentIndex() >= 1) {
        InstalledFirmware = static_cast<int32_t>(Lib([] { return tovamod_Sensor_GetRtcuParam(SensorHandle, 1); }));
        const auto hardware = static_cast<int32_t>(Lib([] { return tovamod_Sensor_GetRtcuParam(SensorHandle, 0); }));
        unread = InstalledFirmware == -1 || hardware == -1;
        fHardwareText = std::to_string(hardware);
        const bool radioPort = ComboDevice->currentText() == kRadioPort;
        setpicture(radioPort ? 2 : 3);
        offered = ReadOffer(radioPort ? QStringLiteral("RTCU") : QStringLiteral("RCU"), UpdateJob.NewFirmware);
        SetPanelColor(kWhite);
        TimeL->setText(QStringLiteral("1 min"));
        BtnUpdate->setEnabled(true);
    } else if (TypeCode == "DLU") {
        Lib([] { return tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0017,1,\r", 0); });
        setpicture(5);
        ShowAtOnce(Label3, Text(21));
        ComboDevice->setCurrentIndex(0);
        BtnUpdate->setEnabled(true);
        BtnExit->setEnabled(true);
        ReadDluVersion();
        unread = InstalledFirmware == -1;
        offered = ReadOffer(QStringLiteral("DLU"), UpdateJob.NewFirmware);
        TimeL->setText(QStringLiteral("2 min"));
    } else {
        for (const DeviceRow& row : kDevices) {
            if (TypeCode != row.Code || TypeCode == "DLU") continue;
            for (const char* command : row.Commands)
                if (command) Lib([command] { return tovamod_Device_SendCmdAndGetResponse(DeviceHandle, command, 0); });
            setpicture(row.Picture);
            InstalledFirmware = Lib([] { return tovamod_Device_GetRTUUParam(DeviceHandle, 1); });
            const int32_t hardware = Lib([] { return tovamod_Device_GetRTUUParam(DeviceHandle, 0); });
            unread = InstalledFirmware == -1 || hardware == -1;
            fHardwareText = std::to_string(hardware);
            offered = ReadOffer(code, UpdateJob.NewFirmware);
            BtnUpdate->setEnabled(true);
            BtnExit->setEnabled(true);
            TimeL->setText(QString::fromLatin1(row.Duration));
        }
    }

    if (unread) {
        // Nothing is offered to a device whose versions are unknown.
        BtnUpdate->setEnabled(false);
        SetPanelColor(kRed);
        fReadFailureShown = true;
        Label3->setText(Text(49));
        Label6->setText(Text(41));
        Label3->repaint();
        Label6->repaint();
        EditFirmware->clear();
        EditHardware->clear();
        EditNewFirmware->setText(VersionText(UpdateJob.NewFirmware));
        return;
    }
    if (fReadFailureShown && offered) {
        SetPanelColor(kWhite);
        fReadFailureShown = false;
        ShowAtOnce(Label3, Text(21));
    }
    if (!offered) {
        // Nothing is offered from a setup file that cannot be read.
        BtnUpdate->setEnabled(false);
        SetPanelColor(kRed);
        fReadFailureShown = true;
        // Not ready: no status rather than one that contradicts the red panel.
        ShowAtOnce(Label3, QString());
        Label6->setText(Text(42) + u' ' + LeftToRight(SetupFileName()));
    } else if (VersionCheck && InstalledFirmware >= UpdateJob.NewFirmware && !TypeCode.empty()) {
        BtnUpdate->setEnabled(false);
        Label6->setText(Text(38));
    } else {
        Label6->setText(QString());
    }
    Label6->repaint();
    if (TypeCode != "DLU") EditFirmware->setText(VersionText(InstalledFirmware));
    EditHardware->setText(fHardwareText.empty() ? QString() : QString::fromLatin1(fHardwareText.substr(0, 1)));
    EditNewFirmware->setText(offered ? VersionText(UpdateJob.NewFirmware) : QString());
}

void TfrmMain::ReadDluVersion() {
    const char* version = nullptr;
    Lib([&version] { return tovamod_Device_GetVersion(DeviceHandle, &version); });
    const std::string text = version ? version : "";
    const size_t slash = text.find('/');
    // At most 5 firmware characters; a text without "/" is all firmware.
    std::string firmware = text.substr(0, std::min<size_t>(slash, 5));
    fHardwareText = (slash != std::string::npos && slash + 1 < text.size()) ? text.substr(slash + 1, 1) : std::string();
    if (firmware == "1.9") firmware = "1.09";
    EditFirmware->setText(QString::fromLatin1(firmware));
    InstalledFirmware = DluFirmwareNumber(firmware);
    EditHardware->setText(QString::fromLatin1(fHardwareText));
}

// ---- firmware update ------------------------------------------------------------

namespace {

// A part file lent to the library as its firmware stream.
class PartStream {
public:
    explicit PartStream(const QString& path) : fFile(path.toStdString(), std::ios::binary) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(path.toStdString(), ec);
        fSize = ec ? -1 : static_cast<int64_t>(size);
        fStream.Context = this;
        fStream.Size = [](void* c) { return static_cast<PartStream*>(c)->fSize; };
        fStream.Read = [](void* c, void* buffer, int32_t count) -> int32_t {
            auto* self = static_cast<PartStream*>(c);
            if (!self->fFile || count < 0) return -1;
            self->fFile.read(static_cast<char*>(buffer), count);
            if (self->fFile.bad()) return -1;
            const auto n = static_cast<int32_t>(self->fFile.gcount());
            self->fFile.clear();
            return n;
        };
        fHolder = &fStream;
    }
    bool IsOpen() const { return fFile.is_open() && fSize >= 0; }
    int64_t Size() const { return fSize; }
    FirmwareStream* const* Variable() const { return &fHolder; }

private:
    std::ifstream fFile;
    int64_t fSize = -1;
    FirmwareStream fStream{};
    FirmwareStream* fHolder = nullptr;
};

std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace

bool TfrmMain::ReadSetup(const QString& Section, SetupPlan& Plan, QString& Problem) {
    // The language's text, then what it is about in no language (a path, a key).
    const auto refuse = [&Problem, this](int32_t Id, const QString& Detail) {
        Problem = Text(Id) + u' ' + LeftToRight(Detail);
        return false;
    };
    // The file may have gone bad since the device was shown (removed, replaced by a folder, ...).
    const auto unreadable = [&refuse] { return refuse(42, SetupFileName()); };
    const QString where = QStringLiteral("z5setup.cfg [") + Section + QStringLiteral("] ");
    try {
        if (!SetupConfig || !SetupConfig->HasSection(Section)) return unreadable();
    } catch (const TFileError&) {
        return unreadable();
    }
    Plan.PartCount = SetupConfig->ReadNumber(Section, QStringLiteral("MaxFilenames"), 1);
    if (Plan.PartCount < 1 || Plan.PartCount > TUpdateJob::MaxParts)
        return refuse(43, where + QStringLiteral("MaxFilenames=%1").arg(Plan.PartCount));
    if (UpdateJob.PartIndex < 1 || UpdateJob.PartIndex > Plan.PartCount)
        return refuse(43, where + QStringLiteral("MaxFilenames=%1 (%2)").arg(Plan.PartCount).arg(UpdateJob.PartIndex));
    // Beyond this the library refuses the part before sending anything.
    const int64_t limit = (TypeCode == "DLU" || TypeCode == "LIGHTSPEED") ? 500000 : 100000;
    for (int i = 1; i <= Plan.PartCount; ++i) {
        QString name;
        try {
            name = SetupConfig->FindValue(Section, QStringLiteral("Filename") + QString::number(i), QString());
        } catch (const TFileError&) {
            return unreadable();
        }
        name.replace(u'\\', u'/');
        const QString path = ExeDir + name;
        Plan.Paths[static_cast<size_t>(i - 1)] = path;
        std::error_code ec;
        const std::filesystem::path file(Utf8(path));
        const bool regular = !name.isEmpty() && std::filesystem::is_regular_file(file, ec);
        const auto size = regular ? std::filesystem::file_size(file, ec) : 0;
        if (!regular || ec || !std::ifstream(file, std::ios::binary)) return refuse(44, path);
        if (static_cast<int64_t>(size) > limit)
            return refuse(45, path + QStringLiteral(" (%1 > %2)").arg(static_cast<qint64>(size)).arg(limit));
    }
    Plan.DeviceClass = SetupConfig->ReadNumber(Section, QStringLiteral("Devicetyp"), 0);
    const int32_t count = SetupConfig->ReadNumber(Section, QStringLiteral("Hardwarenumbers"), 1);
    if (count < 0 || count > 120) return refuse(46, where + QStringLiteral("Hardwarenumbers=%1").arg(count));
    Plan.HardwareList.resize(static_cast<size_t>(count));
    for (int32_t j = 0; j < count; ++j)
        Plan.HardwareList[static_cast<size_t>(j)] = static_cast<uint8_t>(
            SetupConfig->ReadNumber(Section, QStringLiteral("HardwareVersion") + QString::number(j + 1), 1) & 0xFF);
    return true;
}

void TfrmMain::BtnUpdateClick() {
    // A click runs only on the display it was made on: not on one that a pass
    // is building now, nor on one that a pass built while the click waited.
    if (fRebuilding) return;
    const uint32_t generation = DisplayGeneration;
    WhenIdle([this, generation] {
        if (generation != DisplayGeneration || !BtnUpdate->isEnabled()) return;
        Guarded(this, [this] { UpdatePart(); });
    });
}

void TfrmMain::UpdatePart() {
    if (RadioParam4 >= 2 && RadioParam4 <= 253) {
        ShowAtOnce(Label3, Text(39));
        ShowAtOnce(Label6, Text(40));
        return;
    }
    // The click's own section: the radio unit has its own, TypeCode stays the device's.
    QString section = QString::fromStdString(TypeCode);
    int32_t target = 0;
    if (ComboDevice->currentIndex() >= 1) {
        target = 1;
        section = ComboDevice->currentText() == kRadioPort ? QStringLiteral("RTCU") : QStringLiteral("RCU");
    }
    if (ComboDevice->currentText() == kFunctionGenerator) target = 256;

    SetupPlan plan;
    QString problem;
    if (!ReadSetup(section, plan, problem)) {
        // On a first click nothing has changed yet: polling, identification and
        // controls stay as they are. Between parts the update stops at this part.
        if (gUpdateRunning) AbandonPart();
        SetPanelColor(kRed);
        ShowAtOnce(Label3, Text(30));
        ShowAtOnce(Label6, problem);
        return;
    }

    gUpdateRunning = true;
    fInClick = true;
    fUpdateSection = section;
    fTargetAddress = target;
    try {
        SetPanelColor(kWhite);
        if (LogEnabled && !LogOpen) CreateLog(EditFirmware->text(), EditHardware->text());
        Lib([] { tovamod_DeactivateDevicesIdentification(); });
        Timer1->stop();
        WriteLog("Filepath = " + Utf8(ExeDir));
        SetHourglass(true);
        ComboDevice->setEnabled(false);
        BtnUpdate->setEnabled(false);
        BtnExit->setEnabled(false);

        TUpdateJob& job = UpdateJob;
        job.PartCount = plan.PartCount;
        WriteLog("Read MaxParts = " + std::to_string(job.PartCount));
        std::array<uint32_t, TUpdateJob::MaxParts> crcs{};
        for (int i = 1; i <= job.PartCount; ++i) {
            const auto k = static_cast<size_t>(i - 1);
            job.FileNames[k] = Utf8(plan.Paths[k]);
            uint32_t count = 0;
            int32_t io = 0;
            crcs[k] = CalcFileCRC32(job.FileNames[k], fCrcBuffer, count, io);
            char hex[16];
            std::snprintf(hex, sizeof hex, "%05X", crcs[k]);
            WriteLog("Calc CRC32 Filename \"" + job.FileNames[k] + "\" = " + hex);
        }
        job.DeviceClass = plan.DeviceClass;
        WriteLog("DeviceClass from configfile = " + std::to_string(job.DeviceClass));
        job.HardwareCount = static_cast<int32_t>(plan.HardwareList.size());
        WriteLog("FileHardwareList from configfile = " + std::to_string(job.HardwareCount));
        job.HardwareList = plan.HardwareList;
        for (size_t j = 0; j < job.HardwareList.size(); ++j)
            WriteLog("HardwareList filenumber " + std::to_string(j) + " = " +
                     std::string(1, static_cast<char>(job.HardwareList[j])));

        auto stream = std::make_unique<PartStream>(plan.Paths[static_cast<size_t>(job.PartIndex - 1)]);
        job.FileSize = static_cast<int32_t>(stream->Size() & 0xFFFFFFFF);
        ShowAtOnce(Label3, Text(22));
        ShowAtOnce(Label6, Text(23));

        const uint8_t* list = job.HardwareList.empty() ? nullptr : job.HardwareList.data();
        const auto start = [&] {
            return Lib([&] {
                return tovamod_Device_Update_Start(DeviceHandle, target, job.NewFirmware, job.PartIndex, job.PartCount,
                                                   job.FileSize, job.DeviceClass, job.HardwareCount, list);
            });
        };
        job.LastResult = start();
        if (job.LastResult != 0) job.LastResult = start();
        WriteLog("Result update start = " + std::to_string(job.LastResult));
        const bool started = job.LastResult == 0;
        if (started) {
            // Text 27 brings its own leading blank.
            ShowAtOnce(Label3, Text(36) + u' ' + LeftToRight(job.PartIndex) + Text(27) + u' ' +
                                   LeftToRight(job.PartCount));
            // A part file that vanished since the check cannot be sent.
            job.LastResult = stream->IsOpen()
                                 ? Lib([&] { return tovamod_Device_Update(DeviceHandle, target, 1, stream->Variable()); })
                                 : -1;
            WriteLog("Result update = " + std::to_string(job.LastResult));
            if (job.LastResult == 0) {
                ShowAtOnce(Label3, Text(37));
                const uint32_t crc = crcs[static_cast<size_t>(job.PartIndex - 1)];
                job.LastResult = Lib([&] {
                    return tovamod_Device_Update_Finish(DeviceHandle, target, static_cast<int32_t>(crc));
                });
                WriteLog("Result update finish = " + std::to_string(job.LastResult));
            }
        }
        stream.reset();

        if (started && job.LastResult != 0) {
            SetPanelColor(kRed);
            ShowAtOnce(Label3, Text(30));
            ShowAtOnce(Label6, QString());
            SetHourglass(false);
            ComboDevice->setEnabled(true);
        }
        if (job.LastResult == 0 && job.PartIndex == job.PartCount) {
            ShowAtOnce(Label3, Text(24));
            ShowAtOnce(Label6, Text(25));
            job.MorePartsPending = 0;
            waittimer->start();
        } else if (job.LastResult == 0) {
            ShowAtOnce(Label3, Text(29));
            ShowAtOnce(Label6, Text(26) + u' ' + LeftToRight(job.PartIndex) + Text(27) + u' ' +
                                   LeftToRight(job.PartCount) + u' ' + Text(28));
            job.MorePartsPending = 1;
            ++job.PartIndex;
            waittimer->start();
        } else {
            SetPanelColor(kRed);
            ShowAtOnce(Label3, Text(30));
            job.MorePartsPending = 0;
            if (job.LastResult >= 1 && job.LastResult <= 5) Label6->setText(Text(30 + job.LastResult));
            Label6->repaint();
            BtnExit->setEnabled(true);
            SetHourglass(false);
            BtnUpdate->setEnabled(job.PartCount > 1);
            gUpdateRunning = false;
        }
        if (TypeCode == "DLU") Lib([] { return tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0017,1,\r", 0); });
        job.HardwareList.clear();
    } catch (...) {
        AbandonPart();
        throw;
    }
    fInClick = false;
}

// An error inside a part (log file, part file): the part counts as failed and
// can be sent again; the guard shows the error.
void TfrmMain::AbandonPart() {
    fInClick = false;
    gUpdateRunning = false;
    waittimer->stop();
    UpdateJob.MorePartsPending = 0;
    UpdateJob.HardwareList.clear();
    SetPanelColor(kRed);
    try {
        ShowAtOnce(Label3, Text(30));
    } catch (...) {
        ShowAtOnce(Label3, QString());
    }
    SetHourglass(false);
    ComboDevice->setEnabled(true);
    BtnExit->setEnabled(true);
    BtnUpdate->setEnabled(true);
}

void TfrmMain::waittimerTimer() {
    WhenIdle([this] {
        Guarded(this, [this] {
            waittimer->stop();
            if (UpdateJob.MorePartsPending == 1) {
                BtnUpdate->setEnabled(true);
                UpdatePart();
            } else {
                EndOfPause();
            }
        });
    });
}

void TfrmMain::EndOfPause() {
    gUpdateRunning = false;
    // The final text is drawn with the green panel, not before it on white.
    Label6->setText(Text(35));
    SetHourglass(false);
    ComboDevice->setEnabled(true);
    SetPanelColor(kLightGreen);
    BtnExit->setEnabled(true);
    Timer1->start();
    UpdateJob.PartIndex = 1;
    Lib([] { tovamod_ActivateDevicesIdentification(); });
    if (LogEnabled) CloseLog();
}
