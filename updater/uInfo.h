// Notice window: the rules for updating, which the user confirms before the
// program starts the device access library.
#pragma once
#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QTextEdit;

class Tfrm_Info : public QDialog {
    Q_OBJECT
public:
    // Built without an owner: it stays on top of every window of the program.
    explicit Tfrm_Info(QWidget* parent = nullptr);

    // What confirming does before the window goes: the main window's Initdll.
    void SetInitdll(std::function<void()> Initdll) { fInitdll = std::move(Initdll); }

    QLabel* LabelInfo = nullptr;
    QLabel* Image1 = nullptr;
    QTextEdit* RichEdit1 = nullptr;
    QPushButton* ButtonOK = nullptr;

    void FormShow();
    void ButtonOKClick();

    // The text the notice file replaces.
    static QString BuiltInText();

protected:
    void showEvent(QShowEvent* event) override;
    // Only the button leaves the window: Escape, Alt+F4 and the window manager's
    // close are refused.
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    std::function<void()> fInitdll;
    bool fConfirmed = false;
};
