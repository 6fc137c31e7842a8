#include "util.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

#include "global.h"
#include "passwort.h"
#include "tovamod.h"
#include "uMain.h"
#include "z5clock.h"

namespace {

constexpr int32_t ParamMaxHV = 32;  // tenths of a volt
constexpr int32_t ParamMaxI = 33;   // hundredths of a milliampere
constexpr int32_t FailedRead = -1;

void ShowError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

QString FormatLimit(double Value, int Decimals, QChar Separator) {
    // Both conversions are the C locale's, whatever the process locale says.
    double rounded = QString::number(Value, 'e', 3).toDouble();
    if (rounded == 0) rounded = 0;  // no "-0,0"
    return QString::number(rounded, 'f', Decimals).replace(u'.', Separator);
}

double StepLimit(double Value, double Step, double Ceiling) {
    const double moved = Value + Step;
    if (Step < 0 && moved < 0) return 0;
    if (Step > 0 && moved > Ceiling) return Ceiling;
    return moved;
}

QString ProposedLogPath() { return QDir(QDir::homePath()).filePath(QStringLiteral("z5upd.log")); }

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
    UpButton = new QToolButton(this);
    UpButton->setArrowType(Qt::UpArrow);
    DownButton = new QToolButton(this);
    DownButton->setArrowType(Qt::DownArrow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {UpButton, DownButton}) {
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
    }
    connect(UpButton, &QToolButton::clicked, this, &TSpinButton::UpClick);
    connect(DownButton, &QToolButton::clicked, this, &TSpinButton::DownClick);
}

TfrmOptions::TfrmOptions(Tfrm_passwort* Password, QWidget* parent) : QDialog(parent), fPassword(Password) {
    setWindowTitle(QStringLiteral("Einstellungen"));
    setFixedSize(403, 199);

    TntCheckBox1 = new QCheckBox(QStringLiteral("Protokoll erstellen"), this);
    TntCheckBox1->setGeometry(16, 16, 180, 22);
    PathEdit = new QLineEdit(this);
    PathEdit->setGeometry(16, 42, 180, 24);
    TntCheckBox2 = new QCheckBox(QStringLiteral("Versionscheck ausschalten"), this);
    TntCheckBox2->setGeometry(16, 80, 180, 22);
    TntButton1 = new QPushButton(QStringLiteral("OK"), this);
    TntButton1->setGeometry(16, 158, 75, 27);

    GroupBox1 = new QGroupBox(QStringLiteral("XG 7.1"), this);
    GroupBox1->setGeometry(208, 8, 185, 181);
    GroupBox1->hide();
    LabelHV = new QLabel(QStringLiteral("Max. HV"), GroupBox1);
    LabelHV->setGeometry(10, 32, 52, 22);
    Edit1 = new QLineEdit(QStringLiteral("0"), GroupBox1);
    Edit1->setGeometry(64, 30, 60, 24);
    Edit1->setReadOnly(true);
    SpinButton1 = new TSpinButton(GroupBox1);
    SpinButton1->setGeometry(126, 28, 18, 28);
    LabelV = new QLabel(QStringLiteral("V"), GroupBox1);
    LabelV->setGeometry(150, 32, 30, 22);
    LabelI = new QLabel(QStringLiteral("Max. I"), GroupBox1);
    LabelI->setGeometry(10, 76, 52, 22);
    Edit2 = new QLineEdit(QStringLiteral("0"), GroupBox1);
    Edit2->setGeometry(64, 74, 60, 24);
    Edit2->setReadOnly(true);
    SpinButton2 = new TSpinButton(GroupBox1);
    SpinButton2->setGeometry(126, 72, 18, 28);
    LabelmA = new QLabel(QStringLiteral("mA"), GroupBox1);
    LabelmA->setGeometry(150, 76, 30, 22);
    Button1 = new QPushButton(QStringLiteral("Ändern"), GroupBox1);
    Button1->setGeometry(10, 140, 75, 27);
    SetLimitsKnown(false);

    connect(TntCheckBox1, &QCheckBox::clicked, this, &TfrmOptions::TntCheckBox1Click);
    connect(TntButton1, &QPushButton::clicked, this, &TfrmOptions::TntButton1Click);
    connect(SpinButton1, &TSpinButton::DownClick, this, &TfrmOptions::SpinButton1DownClick);
    connect(SpinButton1, &TSpinButton::UpClick, this, &TfrmOptions::SpinButton1UpClick);
    connect(SpinButton2, &TSpinButton::DownClick, this, &TfrmOptions::SpinButton2DownClick);
    connect(SpinButton2, &TSpinButton::UpClick, this, &TfrmOptions::SpinButton2UpClick);
    connect(Button1, &QPushButton::clicked, this, &TfrmOptions::Button1Click);

    // FormCreate
    PathEdit->setText(ProposedLogPath());
}

void TfrmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmOptions::FormShow() {
    fDevice = DeviceHandle;
    fGeneration = DisplayGeneration;
    if (TypeCode != "XRAY") {
        GroupBox1->hide();
        SetLimitsKnown(false);
        return;
    }
    GroupBox1->show();
    SetLimitsKnown(false);
    if (!fDevice) {
        ShowHV();
        ShowI();
        return;
    }
    int32_t hv = FailedRead;
    int32_t i = FailedRead;
    {
        const TLibraryCall call;
        hv = tovamod_Device_GetRTUUParam(fDevice, ParamMaxHV);
        if (hv != FailedRead) i = tovamod_Device_GetRTUUParam(fDevice, ParamMaxI);
    }
    if (hv != FailedRead && i != FailedRead && SameDeviceAttached()) {
        MaxHV = hv / 10.0;
        MaxI = i / 100.0;
        SetLimitsKnown(true);
    }
    ShowHV();
    ShowI();
}

void TfrmOptions::TntCheckBox1Click() { LogEnabled = TntCheckBox1->isChecked() ? 1 : 0; }

void TfrmOptions::TntButton1Click() {
    LogFileName = PathEdit->text().toStdString();
    VersionCheck = TntCheckBox2->isChecked() ? 0 : 1;
    accept();
}

void TfrmOptions::SpinButton1DownClick() {
    MaxHV = StepLimit(MaxHV, -HVStep, HVCeiling);
    ShowHV();
}

void TfrmOptions::SpinButton1UpClick() {
    MaxHV = StepLimit(MaxHV, HVStep, HVCeiling);
    ShowHV();
}

void TfrmOptions::SpinButton2DownClick() {
    MaxI = StepLimit(MaxI, -IStep, ICeiling);
    ShowI();
}

void TfrmOptions::SpinButton2UpClick() {
    MaxI = StepLimit(MaxI, IStep, ICeiling);
    ShowI();
}

void TfrmOptions::Button1Click() {
    if (!fLimitsKnown) return;
    if (LibraryBusy()) {
        // The click came in while a poll pass waits for the library: take it up
        // once that call has returned.
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(z5::Scaled(20)), this, [this] {
            if (isVisible()) Button1Click();
        });
        return;
    }
    fPassword->exec();
    if (PasswordOk != 1) {
        ShowError(this, QStringLiteral("Falsches Passwort"));
        return;
    }
    // Polling goes on under the dialogs: write only to the unit the limits were
    // read from, and only while it is still the one attached.
    const int32_t values[] = {static_cast<int32_t>(std::lround(MaxHV * 10)),
                              static_cast<int32_t>(std::lround(MaxI * 100))};
    const int32_t params[] = {ParamMaxHV, ParamMaxI};
    for (int k = 0; k < 2; ++k) {
        if (!SameDeviceAttached()) {
            SetLimitsKnown(false);
            ShowHV();
            ShowI();
            ShowError(this, QStringLiteral("Das Gerät XG 7.1 ist nicht mehr angeschlossen."));
            return;
        }
        const TLibraryCall call;
        tovamod_Device_SetRTUUParam(fDevice, params[k], 2, values[k]);
    }
}

bool TfrmOptions::SameDeviceAttached() const {
    return fDevice && DeviceHandle == fDevice && DisplayGeneration == fGeneration;
}

void TfrmOptions::SetLimitsKnown(bool Known) {
    fLimitsKnown = Known;
    for (QWidget* control : {static_cast<QWidget*>(SpinButton1), static_cast<QWidget*>(SpinButton2),
                             static_cast<QWidget*>(Button1)})
        control->setEnabled(Known);
}

void TfrmOptions::ShowHV() {
    Edit1->setText(fLimitsKnown ? FormatLimit(MaxHV, 1, DecimalSeparator) : QStringView(UnknownText).toString());
}

void TfrmOptions::ShowI() {
    Edit2->setText(fLimitsKnown ? FormatLimit(MaxI, 2, DecimalSeparator) : QStringView(UnknownText).toString());
}
