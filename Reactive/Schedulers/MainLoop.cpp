#include "Reactive/Schedulers/MainLoop.hpp"
#include "Reactive/Schedulers/PumpableMainLoop.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

namespace Reactive {

namespace {

std::mutex mainLoopMutex;
std::shared_ptr<MainLoop> installedMainLoop;

}

std::shared_ptr<MainLoop> MainLoop::main()
{
    std::lock_guard lock(mainLoopMutex);
    if (!installedMainLoop) {
        installedMainLoop = std::make_shared<PumpableMainLoop>();
    }
    return installedMainLoop;
}

void MainLoop::setMain(std::shared_ptr<MainLoop> loop)
{
    std::lock_guard lock(mainLoopMutex);
    installedMainLoop = std::move(loop);
}

PumpableMainLoop::PumpableMainLoop()
    : m_mainThread(std::this_thread::get_id())
{
}

void PumpableMainLoop::post(std::function<void()> work)
{
    post(now(), std::move(work));
}

void PumpableMainLoop::post(TimePoint date, std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push(date, Duration::zero(), std::move(work), std::source_location::current());
    }
    m_wake.notify_all();
}

std::size_t PumpableMainLoop::pump()
{
    std::size_t count = 0;
    for (;;) {
        std::optional<Detail::TimedQueue::Item> item;
        {
            std::lock_guard lock(m_mutex);
            item = m_queue.popDue(now());
        }
        if (!item) {
            return count;
        }
        item->action->run();
        ++count;
    }
}

bool PumpableMainLoop::pumpUntil(const std::function<bool()>& condition, TimePoint deadline)
{
    for (;;) {
        pump();
        if (condition()) {
            return true;
        }
        std::unique_lock lock(m_mutex);
        if (now() >= deadline) {
            return false;
        }
        auto wakeAt = deadline;
        if (auto next = m_queue.nextDate(); next && *next < wakeAt) {
            wakeAt = *next;
        }
        // Conditions often depend on other threads without posting work, so
        // look again at least every few milliseconds.
        wakeAt = std::min(wakeAt, now() + std::chrono::milliseconds(5));
        m_wake.wait_until(lock, wakeAt);
    }
}

UIScheduler::UIScheduler(std::shared_ptr<MainLoop> loop)
    : m_loop(std::move(loop))
    , m_queued(std::make_shared<std::atomic<int>>(0))
{
}

std::shared_ptr<UIScheduler> UIScheduler::make(std::shared_ptr<MainLoop> loop)
{
    return std::make_shared<UIScheduler>(std::move(loop));
}

AnyDisposable UIScheduler::schedule(std::function<void()> action, std::source_location)
{
    const int position = m_queued->fetch_add(1, std::memory_order_acq_rel) + 1;
    if (position == 1 && m_loop->isMainThread()) {
        action();
        m_queued->fetch_sub(1, std::memory_order_acq_rel);
        return {};
    }
    auto scheduled = std::make_shared<Detail::ScheduledAction>(std::move(action));
    m_loop->post([queued = m_queued, scheduled] {
        scheduled->run();
        queued->fetch_sub(1, std::memory_order_acq_rel);
    });
    return AnyDisposable(scheduled);
}

MainQueueScheduler::MainQueueScheduler(std::shared_ptr<MainLoop> loop)
    : m_loop(std::move(loop))
{
}

std::shared_ptr<MainQueueScheduler> MainQueueScheduler::make(std::shared_ptr<MainLoop> loop)
{
    return std::make_shared<MainQueueScheduler>(std::move(loop));
}

AnyDisposable MainQueueScheduler::schedule(std::function<void()> action, std::source_location)
{
    auto scheduled = std::make_shared<Detail::ScheduledAction>(std::move(action));
    m_loop->post([scheduled] { scheduled->run(); });
    return AnyDisposable(scheduled);
}

AnyDisposable MainQueueScheduler::schedule(TimePoint date, std::function<void()> action, std::source_location)
{
    auto scheduled = std::make_shared<Detail::ScheduledAction>(std::move(action));
    m_loop->post(date, [scheduled] { scheduled->run(); });
    return AnyDisposable(scheduled);
}

namespace {

// Posts itself again, one interval later, after each run until disposed.
void postRepeating(std::shared_ptr<MainLoop> loop, MainLoop::TimePoint date, DateScheduler::Duration interval,
    std::shared_ptr<Detail::ScheduledAction> scheduled)
{
    loop->post(date, [loop, date, interval, scheduled] {
        scheduled->run();
        if (!scheduled->isDisposed()) {
            postRepeating(loop, date + interval, interval, scheduled);
        }
    });
}

}

AnyDisposable MainQueueScheduler::schedule(TimePoint date, Duration interval, std::function<void()> action, std::source_location)
{
    auto scheduled = std::make_shared<Detail::ScheduledAction>(std::move(action));
    postRepeating(m_loop, date, interval, scheduled);
    return AnyDisposable(scheduled);
}

}
