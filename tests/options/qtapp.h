// A QApplication on the offscreen platform for the whole test program, and a
// way to act on a modal dialog once it is open.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>
#include <memory>

// Parent of the pending modal actions.
inline QObject& ModalWatchers() {
    static QObject watchers;
    return watchers;
}

// Runs Action on the next modal widget of type T to open (once), from the event
// loop that the modal dialog runs.
template <class T>
void WhenModal(std::function<void(T*)> Action) {
    auto* timer = new QTimer(&ModalWatchers());
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, Action] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            Action(widget);
        }
    });
    timer->start();
}

// Drops the actions whose dialog never opened, so they cannot act in a later test.
inline void CancelModalActions() {
    const QObjectList pending = ModalWatchers().children();
    qDeleteAll(pending);
}

class OffscreenApp : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override {
        CancelModalActions();
        app.reset();
    }

private:
    int argc = 1;
    char name[8] = "options";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
};
