#include "passwort.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

uint8_t PasswordOk = 0;

namespace {

constexpr char16_t OptionsPassword[] = u"Tolva3817";

// Masks every typed character with "*" whatever the platform style uses.
class StarMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

bool IsOptionsPassword(const QString& Text) { return Text == QStringView(OptionsPassword); }

Tfrm_passwort::Tfrm_passwort(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Passwort"));
    setFixedSize(332, 159);
    // The narrow sans face; fontconfig substitutes its metric twin where it is missing.
    QFont narrow(QStringLiteral("Arial Narrow"));
    narrow.setStretch(QFont::Condensed);
    setFont(narrow);

    Label1 = new QLabel(QStringLiteral("Bitte Passwort eingeben"), this);
    Label1->setGeometry(24, 20, 284, 22);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(24, 52, 284, 24);
    // Made after Edit1 as a child of the dialog, so it outlives the edit.
    auto* mask = new StarMaskStyle;
    mask->setParent(this);
    Edit1->setStyle(mask);
    Edit1->setEchoMode(QLineEdit::Password);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setGeometry(128, 108, 75, 27);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &Tfrm_passwort::Button1Click);
}

void Tfrm_passwort::Button1Click() {
    PasswordOk = IsOptionsPassword(Edit1->text()) ? 1 : 0;
    accept();
}
