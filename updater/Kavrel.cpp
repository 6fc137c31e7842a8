// The update program: the notice window first, then the main window; the device
// access library starts only when the notice is confirmed.
#include <QApplication>
#include <QScreen>

#include "passwort.h"
#include "uInfo.h"
#include "uMain.h"
#include "util.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // No display name: the window system would append it to every caption.
    // The program ends with its main window, whatever else is open.
    app.setQuitOnLastWindowClosed(false);

    Tfrm_Info frm_Info;
    frm_Info.show();
    frm_Info.repaint();

    auto* frmMain = new TfrmMain;
    frmMain->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(frmMain, &QObject::destroyed, &app, &QCoreApplication::quit);
    frm_Info.SetInitdll([frmMain] { frmMain->Initdll(); });

    // options and password dialogs: made once, only hidden when closed
    auto* frm_passwort = new Tfrm_passwort(frmMain);
    frmMain->frmOptions = new TfrmOptions(frm_passwort, frmMain);

    // The main window opens in the middle of the screen, under the notice.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), frmMain->size());
        frame.moveCenter(screen->availableGeometry().center());
        frmMain->move(frame.topLeft());
    }
    frmMain->show();
    frm_Info.raise();
    return app.exec();
}
