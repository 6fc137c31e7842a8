// Main window of the update program: the attached device with its versions and
// picture, the firmware update part by part, the language list and the exit.
#pragma once
#include <QChar>
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "configfile.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRect;
class QTimer;

// ---- program-wide state ----------------------------------------------------

// Device of the first device node of the last changed structure; nullptr = none.
extern void* DeviceHandle;
// First sensor of that device (the Radio Master's radio unit); nullptr = none.
extern void* SensorHandle;
// The radio unit's parameter 4, read by the pass that found a Radio Master with
// its radio unit; 0 after every other changed pass.
extern int32_t RadioParam4;
// Installed firmware of the shown device or radio unit (major * 256 + minor).
extern int32_t InstalledFirmware;
// User-interface language 0..23.
extern int32_t LanguageIndex;
// Decimal separator of the program's number texts; ',' once the window is shown.
extern QChar DecimalSeparator;
// Setup file and language list; null when they could not be opened or created.
extern std::unique_ptr<TConfigfile> SetupConfig;
extern std::unique_ptr<TConfigfile> LangConfig;

// The update state; one instance, UpdateJob. Parts are numbered 1..PartCount.
struct TUpdateJob {
    static constexpr int32_t MaxParts = 5;
    int32_t NewFirmware = 0;                     // offered firmware version
    std::array<std::string, MaxParts> FileNames; // path of part i at index i-1 (UTF-8)
    int32_t FileSize = 0;                        // size of the part being sent
    int32_t DeviceClass = 0;
    int32_t HardwareCount = 0;
    std::vector<uint8_t> HardwareList;           // accepted hardware versions
    int32_t PartCount = 0;
    int32_t PartIndex = 1;                       // the part the next click sends
    int32_t MorePartsPending = 0;                // 1: the pause ends with the next part
    int32_t LastResult = 0;                      // last library result of the update
};
extern TUpdateJob UpdateJob;

// True from a click that passed the refusal until its part failed or the pause
// after the last part ended.
bool UpdateRunning();
// True while the program is inside a library call (events are pumped then).
bool LibraryBusy();
// Marks a library call made outside this unit (the options dialog) for its
// lifetime, so that LibraryBusy() holds while the call pumps events.
class TLibraryCall {
public:
    TLibraryCall();
    ~TLibraryCall();
    TLibraryCall(const TLibraryCall&) = delete;
    TLibraryCall& operator=(const TLibraryCall&) = delete;
};
// Counts the poll passes that found a changed structure.
extern uint32_t DisplayGeneration;

// Version number as major.minor without leading zeros (0x0109 -> "1.9").
QString VersionText(int32_t Version);
// Version number of the data logger's firmware text: digits, a point and up to
// two digits ("1.09" -> 0x0109, "2.1" -> 0x020A, "3" -> 0x0300); -1 when the
// text is not of that form.
int32_t DluFirmwareNumber(const std::string& Text);

// ---- main window -------------------------------------------------------------

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Options dialog, set by the program start; shown by a double click on Image2.
    QDialog* frmOptions = nullptr;

    // Controls.
    QGroupBox* GroupBoxDev = nullptr;
    QLabel* LabelBezeich = nullptr;
    QLabel* LabelSoftw = nullptr;
    QLabel* LabelHardw = nullptr;
    QComboBox* ComboDevice = nullptr;
    QLineEdit* EditFirmware = nullptr;
    QLineEdit* EditHardware = nullptr;
    QGroupBox* GroupBoxNew = nullptr;
    QLabel* LabelNewSoftw = nullptr;
    QLineEdit* EditNewFirmware = nullptr;
    QLabel* Image1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* LabelStatus = nullptr;
    QLabel* LabelDauer = nullptr;
    QLabel* LabelInfo = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* TimeL = nullptr;
    QLabel* Label6 = nullptr;
    QPushButton* BtnUpdate = nullptr;
    QPushButton* BtnExit = nullptr;
    QLabel* Image2 = nullptr;
    QLabel* LabelMaker = nullptr;
    QLabel* LabelMakerAddress = nullptr;
    QComboBox* ComboLanguage = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* waittimer = nullptr;

    // Handlers.
    void Timer1Timer();
    void LookForNewDevices();
    void ComboDeviceChange();
    void setpicture(int32_t n);
    void BtnUpdateClick();
    void waittimerTimer();
    void TntFormCreate();
    void TntFormShow();
    void SetSpecificLanguageTxt();
    void ComboLanguageChange();
    void ComboLanguageDrawItem(QPainter& Canvas, int Index, const QRect& Rect);
    void BtnExitClick();
    void Initdll();
    void Image2DblClick();

    // The picture number shown in Image1 (for tests and the options dialog).
    int32_t PictureNumber() const { return fPicture; }
    // Status panel colour.
    QColor PanelColor() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LayOut();
    void SetPanelColor(const QColor& color);
    void PlaceStatusPanel(Qt::LayoutDirection Direction);
    void ShowAtOnce(QLabel* label, const QString& text);
    QString Text(int32_t Id) const;
    void SetHourglass(bool on);
    // Runs action now, or once the library call, poll pass or part in progress has ended.
    void WhenIdle(std::function<void()> action);
    void RunDeferred();
    // Nothing that needs the library (or runs inside a pass or a part) is in progress.
    bool Idle() const;
    void PollPass();
    void VersionPass();
    void ReadDluVersion();
    // What a click needs from the setup file, checked before anything changes.
    struct SetupPlan {
        int32_t PartCount = 0;
        std::array<QString, TUpdateJob::MaxParts> Paths;
        int32_t DeviceClass = 0;
        std::vector<uint8_t> HardwareList;
    };
    bool ReadSetup(const QString& Section, SetupPlan& Plan, QString& Problem);
    void UpdatePart();
    void EndOfPause();
    void AbandonPart();

    std::array<QPixmap, 24> fFlags;
    int32_t fPicture = 0;
    bool fInPollPass = false;
    // A poll pass is replacing the display (from its changed structure to its end).
    bool fRebuilding = false;
    // The status panel is red for a version that could not be read.
    bool fReadFailureShown = false;
    bool fInClick = false;
    std::string fHardwareText;
    std::vector<uint8_t> fCrcBuffer = std::vector<uint8_t>(65536);
    bool fShownOnce = false;
    bool fLibraryInitialised = false;
    bool fLibraryShutDown = false;
    bool fHourglass = false;
    // The setup section the running click works on (RTCU or RCU for the radio unit).
    QString fUpdateSection;
    int32_t fTargetAddress = 0;
    // Language files without texts that a box has named.
    QStringList fReportedLanguageFiles;
    std::vector<std::function<void()>> fDeferred;
    bool fDeferredPosted = false;
};
