#include "statusfile.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>
#include <QSaveFile>
#include <QWidget>

namespace {

QString OneLine(QString text) {
    text.replace(u'\r', u' ').replace(u'\n', u' ');
    return text;
}

class StatusPanelMirror : public QObject {
public:
    StatusPanelMirror(QString path, QWidget* panel, QLabel* status, QLabel* info)
        : QObject(panel), fPath(std::move(path)), fPanel(panel), fStatus(status), fInfo(info) {
        // A change is drawn at once or with the next paint; the window's closing
        // catches what a window that was not exposed never drew. Nothing is read
        // on other events: the labels may be on their way out by then.
        for (QObject* watched : {static_cast<QObject*>(panel), static_cast<QObject*>(status),
                                 static_cast<QObject*>(info), static_cast<QObject*>(panel->window())})
            watched->installEventFilter(this);
        Write();
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint || event->type() == QEvent::Close) Write();
        return false;
    }

private:
    void Write() {
        const QString text = QStringLiteral("panel=%1\nstatus=%2\ninfo=%3\n")
                                 .arg(fPanel->palette().color(QPalette::Window).name(),
                                      OneLine(fStatus->text()), OneLine(fInfo->text()));
        if (text == fLast) return;
        QSaveFile file(fPath);
        if (!file.open(QIODevice::WriteOnly)) return;
        file.write(text.toUtf8());
        if (file.commit()) fLast = text;
    }

    QString fPath;
    QWidget* fPanel;
    QLabel* fStatus;
    QLabel* fInfo;
    QString fLast;
};

}  // namespace

void MirrorStatusPanel(QWidget* panel, QLabel* status, QLabel* info) {
    const QString path = qEnvironmentVariable("ZELTO5_STATUS_FILE");
    if (path.isEmpty()) return;
    new StatusPanelMirror(path, panel, status, info);
}
