// Password prompt in front of the X-ray unit's limits.
#pragma once
#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

// 1 when the last password confirmed with OK was right. Closing the prompt by
// its title bar leaves it as it was.
extern uint8_t PasswordOk;

// True for exactly the options password (case-sensitive, no trimming).
bool IsOptionsPassword(const QString& Text);

class Tfrm_passwort : public QDialog {
    Q_OBJECT
public:
    explicit Tfrm_passwort(QWidget* parent = nullptr);

    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* Button1;

    void Button1Click();
};
