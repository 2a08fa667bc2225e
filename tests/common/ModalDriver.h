#pragma once

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>

// Acting inside nested modal loops: each call waits, on a polling timer of
// the running loop, for the next modal window other than the one on top now,
// and runs `action` on it from inside that window's own loop.
namespace modal {

// With a `scope`, the polling timer dies with it, so that a window that never
// comes cannot leave a poller behind for the next test.
inline void onNext(std::function<void(QWidget*)> action, QObject* scope = nullptr)
{
    QPointer<QWidget> current = QApplication::activeModalWidget();
    auto* timer = new QTimer(scope);
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, current, action] {
        QWidget* top = QApplication::activeModalWidget();
        if (!top || top == current || !top->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        action(top);
    });
    timer->start();
}

// Answers the next message box with `button` and reports its text/caption.
inline void answerNextBox(QMessageBox::StandardButton button, QString* text = nullptr, QString* caption = nullptr,
    QMessageBox::Icon* icon = nullptr)
{
    onNext([=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            qWarning("expected a message box, found %s", w->metaObject()->className());
            return;
        }
        if (text)
            *text = box->text();
        if (caption)
            *caption = box->windowTitle();
        if (icon)
            *icon = box->icon();
        box->button(button)->click();
    });
}

// Closes the given screen through the dialog ending (Escape).
inline void close(QWidget* w)
{
    if (auto* d = qobject_cast<QDialog*>(w))
        d->reject();
}

} // namespace modal
