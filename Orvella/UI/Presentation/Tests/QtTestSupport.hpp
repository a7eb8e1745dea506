#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

namespace Orvella::Testing {

// Runs Qt's event loop until `condition` holds or five seconds pass; returns
// whether it held. A deadline for a condition, not a timed assertion.
inline bool processEventsUntil(const std::function<bool()>& condition, int milliseconds = 5000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Once an alert is on screen (inside its own modal loop), hands it to
// `answer`, which presses keys or closes it as a person would. The timer
// lives as long as `owner`.
inline void whenAlertShows(QObject* owner, std::function<void(QMessageBox*)> answer)
{
    auto* timer = new QTimer(owner);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, answer = std::move(answer)] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        answer(box);
    });
    timer->start();
}

} // namespace Orvella::Testing
