#include "Glimmerd/Daemon/QtMainLoop.hpp"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace Glimmerd {

void QtMainLoop::post(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void QtMainLoop::post(TimePoint date, std::function<void()> work)
{
    // The timer must be started on the main thread, so the posting hops there first.
    post([this, date, work = std::move(work)]() mutable {
        auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(date - now());
        QTimer::singleShot(std::max<std::chrono::milliseconds>(delay, std::chrono::milliseconds(0)),
            QCoreApplication::instance(), std::move(work));
    });
}

bool QtMainLoop::isMainThread() const
{
    auto* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

} // namespace Glimmerd
