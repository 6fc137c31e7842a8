// Options dialog: update log, version check and, for the X-ray unit, its
// high-voltage and current limits.
#pragma once
#include <QDialog>
#include <QString>
#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class Tfrm_passwort;

// Value rounded to 4 significant digits, shown with exactly Decimals decimals
// and Separator as the decimal point.
QString FormatLimit(double Value, int Decimals, QChar Separator);

// One click of an up/down pair: Value + Step; a down click (Step < 0) stops at 0,
// an up click at Ceiling. So a value read above the ceiling goes down by a step
// or up to the ceiling, one read below 0 up by a step or down to 0.
double StepLimit(double Value, double Step, double Ceiling);

// The proposed path of the update log: "z5upd.log" in the user's home folder.
QString ProposedLogPath();

// A vertical pair of arrow buttons.
class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(QWidget* parent = nullptr);
    QToolButton* UpButton;
    QToolButton* DownButton;
signals:
    void UpClick();
    void DownClick();
};

class TfrmOptions : public QDialog {
    Q_OBJECT
public:
    // Password: the prompt shown before the limits are written.
    explicit TfrmOptions(Tfrm_passwort* Password, QWidget* parent = nullptr);

    static constexpr double HVCeiling = 35.0;
    static constexpr double HVStep = 0.1;
    static constexpr double ICeiling = 1.0;
    static constexpr double IStep = 0.01;
    // Texts of the limits when they could not be read.
    static constexpr char16_t UnknownText[] = u"?";

    QCheckBox* TntCheckBox1;
    QLineEdit* PathEdit;
    QCheckBox* TntCheckBox2;
    QPushButton* TntButton1;
    QGroupBox* GroupBox1;
    QLabel* LabelHV;
    QLineEdit* Edit1;
    QLabel* LabelV;
    TSpinButton* SpinButton1;
    QLabel* LabelI;
    QLineEdit* Edit2;
    QLabel* LabelmA;
    TSpinButton* SpinButton2;
    QPushButton* Button1;

    // The limits as shown: maximum high voltage in V, maximum current in mA.
    double MaxHV = 0;
    double MaxI = 0;
    // Both limits were read from the unit the dialog was opened for.
    bool LimitsKnown() const { return fLimitsKnown; }

    void FormShow();
    void TntCheckBox1Click();
    void TntButton1Click();
    void SpinButton1DownClick();
    void SpinButton1UpClick();
    void SpinButton2DownClick();
    void SpinButton2UpClick();
    void Button1Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool SameDeviceAttached() const;
    void SetLimitsKnown(bool Known);
    void ShowHV();
    void ShowI();

    Tfrm_passwort* fPassword;
    // The X-ray unit as it was when the dialog opened.
    void* fDevice = nullptr;
    uint32_t fGeneration = 0;
    bool fLimitsKnown = false;
};
