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
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "crc.h"
#include "datafolder.h"
#include "global.h"
#include "handlerguard.h"
#include "pictures.h"
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
    if (fLibraryInitialised && !fLibraryShutDown) {
        tovamod_uninit();
        fLibraryShutDown = true;
    }
    SetHourglass(false);
    z5::SetMessagePump(nullptr);
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
    LabelBezeich->setGeometry(12, 28, 110, 24);
    ComboDevice = new QComboBox(GroupBoxDev);
    ComboDevice->setGeometry(124, 28, 220, 24);
    LabelSoftw = new QLabel(GroupBoxDev);
    LabelSoftw->setGeometry(12, 64, 110, 24);
    EditFirmware = new QLineEdit(GroupBoxDev);
    EditFirmware->setGeometry(124, 64, 100, 24);
    EditFirmware->setReadOnly(true);
    LabelHardw = new QLabel(GroupBoxDev);
    LabelHardw->setGeometry(12, 100, 110, 24);
    EditHardware = new QLineEdit(GroupBoxDev);
    EditHardware->setGeometry(124, 100, 100, 24);
    EditHardware->setReadOnly(true);

    GroupBoxNew = new QGroupBox(this);
    GroupBoxNew->setGeometry(8, 156, 356, 76);
    LabelNewSoftw = new QLabel(GroupBoxNew);
    LabelNewSoftw->setGeometry(12, 32, 110, 24);
    EditNewFirmware = new QLineEdit(GroupBoxNew);
    EditNewFirmware->setGeometry(124, 32, 100, 24);
    EditNewFirmware->setEnabled(false);

    Image1 = new QLabel(this);
    Image1->setGeometry(376, 9, 223, 223);

    Panel2 = new QFrame(this);
    Panel2->setGeometry(8, 242, 594, 112);
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    Panel2->setAutoFillBackground(true);
    LabelStatus = new QLabel(Panel2);
    LabelStatus->setGeometry(10, 8, 130, 20);
    Label3 = new QLabel(Panel2);
    Label3->setGeometry(144, 8, 440, 20);
    LabelDauer = new QLabel(Panel2);
    LabelDauer->setGeometry(10, 32, 130, 20);
    TimeL = new QLabel(Panel2);
    TimeL->setGeometry(144, 32, 440, 20);
    LabelInfo = new QLabel(Panel2);
    LabelInfo->setGeometry(10, 56, 130, 20);
    Label6 = new QLabel(Panel2);
    Label6->setGeometry(144, 56, 440, 50);
    Label6->setFont(bold);
    Label6->setWordWrap(true);
    Label6->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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

void TfrmMain::WhenLibraryIdle(std::function<void()> action) {
    if (!LibraryBusy()) {
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
    if (LibraryBusy()) {
        // Still inside a call: look again shortly.
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

void TfrmMain::TntFormCreate() {
    for (int k = 0; k < kLanguageFlagCount; ++k) fFlags[static_cast<size_t>(k)] = FlagPicture(k);
    ProgramVersion = "2.1";
    VersionCheck = 1;
    ExeDir = FindDataDir();
    // Each file on its own, so that one that cannot be created costs only its own object.
    Guarded(this, [] { SetupConfig = std::make_unique<TConfigfile>(ExeDir + QStringLiteral("z5setup.cfg")); });
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
        BtnUpdate->setText(Text(15));
        BtnExit->setText(Text(16));
    });
}

void TfrmMain::ComboLanguageChange() {
    // Touches no device: runs also while a library call waits.
    Guarded(this, [this] {
        const int index = ComboLanguage->currentIndex();
        if (index < 0) return;
        LanguageIndex = index;
        SetSpecificLanguageTxt();
        if (LangConfig)
            LangConfig->WriteNumber(QStringLiteral("Einstellungen"), QStringLiteral("Sprache"), LanguageIndex);
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
        {
            LibrarySection busy;
            tovamod_init();
        }
        fLibraryInitialised = true;
        fLibraryShutDown = false;
        Timer1->start();
    });
}

void TfrmMain::BtnExitClick() {
    WhenLibraryIdle([this] {
        Guarded(this, [this] {
            if (UpdateRunning()) return;
            Timer1->stop();
            if (fLibraryInitialised && !fLibraryShutDown) {
                LibrarySection busy;
                if (TypeCode == "DLU" || TypeCode == "DDS") tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0018,1,\r", 0);
                tovamod_Device_SendCmdAndGetResponse(DeviceHandle, "0025,1,\r", 0);
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
    if (LibraryBusy()) {
        // Closing from inside a library wait: close once the call has returned.
        event->ignore();
        WhenLibraryIdle([this] { close(); });
        return;
    }
    Timer1->stop();
    waittimer->stop();
    if (fLibraryInitialised && !fLibraryShutDown) {
        tovamod_uninit();
        fLibraryShutDown = true;
        DeviceHandle = nullptr;
        SensorHandle = nullptr;
    }
    event->accept();
}

void TfrmMain::Image2DblClick() {
    Guarded(this, [this] {
        if (UpdateRunning() || LibraryBusy() || !frmOptions) return;
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
    // A tick inside a pass (under its message box) or inside a library wait is dropped.
    if (fInPollPass || LibraryBusy()) return;
    LookForNewDevices();
}

void TfrmMain::LookForNewDevices() {}

void TfrmMain::ComboDeviceChange() {}

void TfrmMain::ReadDluVersion() {}

// ---- firmware update ------------------------------------------------------------

void TfrmMain::BtnUpdateClick() {}

void TfrmMain::waittimerTimer() {}

bool TfrmMain::CheckSetup(const QString&, QString&) { return true; }

void TfrmMain::UpdateFailed(bool) {}

void TfrmMain::LeaveAfterException() {}
