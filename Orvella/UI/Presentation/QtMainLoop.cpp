#include "Orvella/UI/Presentation/QtMainLoop.hpp"

#include "Reactive/Schedulers/TimedQueue.hpp"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <mutex>

namespace Orvella {

struct QtMainLoop::State {
    std::mutex mutex;
    Reactive::Detail::TimedQueue queue;
    bool wakePending = false; // A queued call to `drain` is on its way.
    QObject context;
    QTimer timer;

    // Runs what is due, in order, then arms the timer for the next date.
    void drain()
    {
        {
            std::lock_guard lock(mutex);
            wakePending = false;
        }
        for (;;) {
            std::optional<Reactive::Detail::TimedQueue::Item> item;
            {
                std::lock_guard lock(mutex);
                item = queue.popDue(Reactive::DateScheduler::Clock::now());
            }
            if (!item) {
                break;
            }
            item->action->run();
        }
        std::optional<Reactive::DateScheduler::TimePoint> next;
        {
            std::lock_guard lock(mutex);
            next = queue.nextDate();
        }
        if (!next) {
            timer.stop();
            return;
        }
        // Rounded up, so the timer never fires before the work is due.
        auto remaining = std::chrono::ceil<std::chrono::milliseconds>(*next - Reactive::DateScheduler::Clock::now());
        timer.start(std::max<std::chrono::milliseconds::rep>(remaining.count(), 0));
    }
};

QtMainLoop::QtMainLoop()
    : m_state(std::make_shared<State>())
{
    m_state->timer.setSingleShot(true);
    m_state->timer.setTimerType(Qt::PreciseTimer);
    std::weak_ptr<State> weakState = m_state;
    QObject::connect(&m_state->timer, &QTimer::timeout, &m_state->context, [weakState] {
        if (auto state = weakState.lock()) {
            state->drain();
        }
    });
}

QtMainLoop::~QtMainLoop() = default;

std::shared_ptr<QtMainLoop> QtMainLoop::install()
{
    auto loop = std::make_shared<QtMainLoop>();
    Reactive::MainLoop::setMain(loop);
    return loop;
}

void QtMainLoop::post(std::function<void()> work)
{
    post(now(), std::move(work));
}

void QtMainLoop::post(TimePoint date, std::function<void()> work)
{
    bool wake = false;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->queue.push(date, Reactive::DateScheduler::Duration::zero(), std::move(work), std::source_location::current());
        wake = !std::exchange(m_state->wakePending, true);
    }
    if (wake) {
        std::weak_ptr<State> weakState = m_state;
        QMetaObject::invokeMethod(&m_state->context, [weakState] {
            if (auto state = weakState.lock()) {
                state->drain();
            }
        }, Qt::QueuedConnection);
    }
}

bool QtMainLoop::isMainThread() const
{
    return QThread::currentThread() == m_state->context.thread();
}

} // namespace Orvella
