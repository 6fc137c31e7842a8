// Runs the body of a window handler and shows any exception it raises in a
// standard error box; the program then goes on (the rest of the body is skipped).
#pragma once
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <exception>
#include <utility>

template <class F>
void Guarded(QWidget* parent, F&& body) {
    QString message;
    try {
        std::forward<F>(body)();
        return;
    } catch (const std::exception& e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    QString title = QGuiApplication::applicationDisplayName();
    if (title.isEmpty()) title = QStringLiteral("Error");
    QMessageBox::critical(parent, title, message);
}
