#include "Quarlink/TalvernAPIClient/SessionTaskDelegates/TaskCollector.hpp"

#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/SignalProducer.hpp"

namespace Quarlink {

using namespace std::chrono_literals;

std::shared_ptr<TaskCollector> TaskCollector::make(Reactive::DateSchedulerPtr scheduler)
{
    auto collector = std::shared_ptr<TaskCollector>(new TaskCollector());
    collector->bind(scheduler ? std::move(scheduler) : Reactive::QueueScheduler::make());
    return collector;
}

TaskCollector::~TaskCollector()
{
    m_binding.dispose();
    m_tasksUpdated.second.sendCompleted();
}

void TaskCollector::bind(Reactive::DateSchedulerPtr scheduler)
{
    m_scheduler = scheduler;
    std::weak_ptr<TaskCollector> weakSelf = weak_from_this();
    m_binding = Reactive::SignalProducer<std::weak_ptr<Platform::URLSession>, Reactive::NoError>(m_tasksUpdated.first)
                    .throttle(100ms, scheduler)
                    .flatMap(Reactive::FlattenStrategy::concat,
                        [weakSelf](const std::weak_ptr<Platform::URLSession>& session) {
                            // A collector that is gone asks nobody.
                            if (!weakSelf.lock())
                                return Reactive::SignalProducer<SessionTasks, Reactive::NoError>::empty();
                            return getTasks(session);
                        })
                    .startWithValues([weakSelf](const SessionTasks& tasks) {
                        if (auto self = weakSelf.lock())
                            self->m_allTasks.set(tasks);
                    });
}

void TaskCollector::setSession(std::weak_ptr<Platform::URLSession> session)
{
    std::lock_guard lock(m_mutex);
    m_session = std::move(session);
}

void TaskCollector::noteActivity()
{
    std::weak_ptr<Platform::URLSession> session;
    {
        std::lock_guard lock(m_mutex);
        session = m_session;
    }
    m_tasksUpdated.second.send(std::move(session));
}

void TaskCollector::didSendBodyData(Platform::URLSessionTask&, std::int64_t, std::int64_t, std::int64_t)
{
    noteActivity();
}

void TaskCollector::didFinishDownloading(Platform::URLSessionTask&, const std::filesystem::path&)
{
    noteActivity();
}

void TaskCollector::didComplete(Platform::URLSessionTask&, const std::optional<Platform::TransportError>&)
{
    noteActivity();
}

Reactive::SignalProducer<SessionTasks, Reactive::NoError> TaskCollector::getTasks(std::weak_ptr<Platform::URLSession> session)
{
    return Reactive::SignalProducer<SessionTasks, Reactive::NoError>(
        [session](Reactive::Observer<SessionTasks, Reactive::NoError> observer, Reactive::Lifetime lifetime) {
            SessionTasks tasks;
            if (auto strong = session.lock()) {
                for (auto& task : strong->allTasks()) {
                    switch (task->kind()) {
                    case Platform::URLSessionTask::Kind::data: tasks.data.push_back(task); break;
                    case Platform::URLSessionTask::Kind::upload: tasks.upload.push_back(task); break;
                    case Platform::URLSessionTask::Kind::download: tasks.download.push_back(task); break;
                    }
                }
            }
            if (lifetime.hasEnded())
                return;
            observer.send(std::move(tasks));
            observer.sendCompleted();
        });
}

} // namespace Quarlink
