// Saves pictures of the update program's windows as PNG files, for the
// screenshot script. The language follows the locale (LANG), as in the program.
//
//   kavrel_shots OUTDIR NAME [SECONDS [update]]
//
// Writes OUTDIR/NAME-notice.png, confirms the notice (which starts the library),
// waits SECONDS (default 3) for the devices of ZELTO5_SYSFS_ROOT to show, and
// writes OUTDIR/NAME-main.png. With "update" it then presses Update, waits a
// second and writes OUTDIR/NAME-update.png (a refusal, when the setup names a
// part file that is not there).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>
#include <cstdio>

#include "uInfo.h"
#include "uMain.h"

namespace {

void Settle(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool Save(QWidget& window, const QString& path) {
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: kavrel_shots OUTDIR NAME [SECONDS]\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 3;
    QDir().mkpath(dir);

    Tfrm_Info info;
    info.show();
    auto main = std::make_unique<TfrmMain>();
    info.SetInitdll([&main] { main->Initdll(); });
    main->show();
    Settle(300);
    bool ok = Save(info, dir + u'/' + name + QStringLiteral("-notice.png"));
    info.ButtonOKClick();
    Settle(seconds * 1000);
    ok = Save(*main, dir + u'/' + name + QStringLiteral("-main.png")) && ok;
    if (argc > 4 && QString::fromLocal8Bit(argv[4]) == QStringLiteral("update")) {
        main->BtnUpdateClick();
        Settle(1000);
        ok = Save(*main, dir + u'/' + name + QStringLiteral("-update.png")) && ok;
    }
    main->close();
    return ok ? 0 : 1;
}
