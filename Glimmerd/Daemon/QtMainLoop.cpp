#include "Glimmerd/Daemon/QtMainLoop.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Glimmerd {

QtMainLoop::QtMainLoop()
    : m_wakeDescriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_notifier = std::make_unique<QSocketNotifier>(m_wakeDescriptor, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { runPosted(); });
}

QtMainLoop::~QtMainLoop()
{
    m_notifier.reset();
    close(m_wakeDescriptor);
}

void QtMainLoop::post(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(work));
    }
    std::uint64_t one = 1;
    // A full counter still wakes the loop; nothing is lost when the write fails.
    (void)!write(m_wakeDescriptor, &one, sizeof(one));
}

void QtMainLoop::post(TimePoint date, std::function<void()> work)
{
    // The timer must be started on the main thread, so the posting hops there first.
    post([this, date, work = std::move(work)]() mutable {
        auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(date - now());
        QTimer::singleShot(std::max<std::chrono::milliseconds>(delay, std::chrono::milliseconds(0)),
            m_notifier.get(), std::move(work));
    });
}

bool QtMainLoop::isMainThread() const
{
    auto* application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

void QtMainLoop::runPosted()
{
    std::uint64_t count = 0;
    (void)!read(m_wakeDescriptor, &count, sizeof(count));
    std::deque<std::function<void()>> posted;
    {
        std::lock_guard lock(m_mutex);
        posted.swap(m_posted);
    }
    // Work posted while these run waits for the next wake-up, so a busy
    // poster cannot keep the loop from its other events.
    for (auto& work : posted)
        work();
}

} // namespace Glimmerd
