#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

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

} // namespace Orvella::Testing
