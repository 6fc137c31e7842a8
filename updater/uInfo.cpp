#include "uInfo.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <optional>

#include "configfile.h"
#include "datafolder.h"
#include "filebytes.h"
#include "global.h"
#include "handlerguard.h"
#include "pictures.h"
#include "rtfreader.h"
#include "uMain.h"

namespace {

// Suffixes of the notice files by language index; the others read the English one.
QString NoticeSuffix(int32_t Language) {
    switch (Language) {
        case 0: case 1: case 2: case 3: case 4: case 6: case 7:
        case 11: case 12: case 13: case 17: case 18: case 22:
            return QLatin1String(LanguageSuffix(Language));
        default:
            return QStringLiteral("uk");
    }
}

}  // namespace

Tfrm_Info::Tfrm_Info(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint) {
    setFixedSize(447, 360);
    setWindowTitle(QStringLiteral("Information"));

    Image1 = new QLabel(this);
    Image1->setGeometry(12, 12, 64, 64);
    Image1->setPixmap(WarningPicture());

    LabelInfo = new QLabel(QStringLiteral("Please read before updating"), this);
    LabelInfo->setGeometry(88, 12, 347, 64);
    QFont bold = LabelInfo->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    LabelInfo->setFont(bold);
    LabelInfo->setWordWrap(true);
    LabelInfo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setGeometry(12, 88, 423, 216);
    RichEdit1->setReadOnly(true);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setPlainText(BuiltInText());

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setGeometry(148, 316, 151, 32);
    ButtonOK->setDefault(true);
    ButtonOK->setFocus();
    connect(ButtonOK, &QPushButton::clicked, this, [this] { ButtonOKClick(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

QString Tfrm_Info::BuiltInText() {
    return QStringLiteral(
        "1. Attach only one device at a time, or one Radio Master together with its Radio-Port or Relay-Port.\n\n"
        "2. After an update remove all devices, the Radio Master included, before you start the next update.\n\n"
        "3. Make sure that the batteries are fully charged.");
}

void Tfrm_Info::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void Tfrm_Info::closeEvent(QCloseEvent* event) {
    if (fConfirmed) event->accept();
    else event->ignore();
}

void Tfrm_Info::FormShow() {
    Guarded(this, [this] {
        ExeDir = FindDataDir();
        // Opening creates missing files. One that cannot be created is reported by
        // the main window, which opens the same files next; the notice goes on.
        try {
            TConfigfile setup(ExeDir + QStringLiteral("z5setup.cfg"));
            TConfigfile lang(WritableFileName(ExeDir, QStringLiteral("z5lang.cfg")));
        } catch (const TFileError&) {
        }
        LanguageIndex = StartLanguage();

        const QString notice = ExeDir + QStringLiteral("infotext.") + NoticeSuffix(LanguageIndex) + QStringLiteral(".rtf");
        std::string error;
        const std::optional<QByteArray> rtf = ReadRegularFile(notice, error);
        if (!rtf) throw TFileError(error);
        if (!ReadRtf(*rtf, RichEdit1->document())) throw TFileError("Not a rich text file: " + notice.toStdString());

        QString caption, heading, button;
        GetLanguageText(1, LanguageIndex, caption);
        GetLanguageText(2, LanguageIndex, heading);
        GetLanguageText(3, LanguageIndex, button);
        setWindowTitle(caption);
        LabelInfo->setText(heading);
        ButtonOK->setText(button);
    });
}

void Tfrm_Info::ButtonOKClick() {
    Guarded(this, [this] {
        if (fInitdll) fInitdll();
        fConfirmed = true;
        hide();
    });
}
