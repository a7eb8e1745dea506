#include "Quarlink/Client/TaskObservation.hpp"

#include <atomic>

namespace Quarlink {

namespace {

// Stops an observation when the start ends, unless the task is gone already.
void removeWhenEnded(Reactive::Lifetime& lifetime, const std::shared_ptr<Platform::URLSessionTask>& task,
    Platform::URLSessionTask::ObservationToken token)
{
    std::weak_ptr<Platform::URLSessionTask> weakTask = task;
    lifetime.observeEnded([weakTask, token] {
        if (auto strong = weakTask.lock())
            strong->removeObserver(token);
    });
}

// Raises `newest` to `candidate`; true when `candidate` was newer than everything before.
template<class T>
bool advance(std::atomic<T>& newest, T candidate)
{
    auto seen = newest.load();
    while (candidate > seen && !newest.compare_exchange_weak(seen, candidate)) { }
    return candidate > seen;
}

} // namespace

Reactive::SignalProducer<Platform::URLSessionTaskState, Reactive::NoError> state(const std::shared_ptr<Platform::URLSessionTask>& task)
{
    using State = Platform::URLSessionTaskState;
    return Reactive::SignalProducer<State, Reactive::NoError>([task](Reactive::Observer<State, Reactive::NoError> observer,
                                                                   Reactive::Lifetime lifetime) {
        // Change numbers start at 0, so "nothing sent yet" is stored as 0 and change n as n + 1.
        auto newest = std::make_shared<std::atomic<std::uint64_t>>(0);
        auto token = task->observeState([observer, newest](State value, std::uint64_t change) {
            if (advance(*newest, change + 1))
                observer.send(value);
        });
        removeWhenEnded(lifetime, task, token);
    });
}

Reactive::SignalProducer<std::int64_t, Reactive::NoError> countOfBytesSent(const std::shared_ptr<Platform::URLSessionTask>& task)
{
    return Reactive::SignalProducer<std::int64_t, Reactive::NoError>([task](Reactive::Observer<std::int64_t, Reactive::NoError> observer,
                                                                          Reactive::Lifetime lifetime) {
        auto newest = std::make_shared<std::atomic<std::int64_t>>(-1);
        auto token = task->observeBytesSent([observer, newest](std::int64_t sent) {
            if (advance(*newest, sent))
                observer.send(sent);
        });
        removeWhenEnded(lifetime, task, token);
    });
}

} // namespace Quarlink
