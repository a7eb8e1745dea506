#include "Quarlink/Client/Operations/URLSessionTaskOperation.hpp"

namespace Quarlink {

std::shared_ptr<URLSessionTaskOperation> URLSessionTaskOperation::make(std::weak_ptr<Platform::URLSessionTask> task,
    Reactive::SignalProducer<TaskState, Reactive::NoError> states)
{
    auto operation = std::shared_ptr<URLSessionTaskOperation>(new URLSessionTaskOperation(std::move(task)));
    std::weak_ptr<URLSessionTaskOperation> weakOperation = operation;
    operation->m_observation = states.startWithValues([weakOperation](const TaskState& state) {
        if (auto strong = weakOperation.lock())
            strong->store(state);
    });
    return operation;
}

URLSessionTaskOperation::URLSessionTaskOperation(std::weak_ptr<Platform::URLSessionTask> task)
    : m_task(std::move(task))
{
}

URLSessionTaskOperation::~URLSessionTaskOperation()
{
    m_observation.dispose();
}

void URLSessionTaskOperation::start()
{
    auto task = m_task.lock();
    if (!task || isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    bool completed;
    {
        std::lock_guard lock(m_stateMutex);
        m_started = true;
        completed = m_state == TaskState::completed;
    }
    // The completion may have come while the operation waited; then no
    // later state change would ever finish it.
    if (completed) {
        setExecuting(false);
        setFinished(true);
        return;
    }
    task->resume();
}

void URLSessionTaskOperation::cancel()
{
    Operation::cancel();
    if (auto task = m_task.lock())
        task->cancel();
}

URLSessionTaskOperation::TaskState URLSessionTaskOperation::state() const
{
    std::lock_guard lock(m_stateMutex);
    return m_state;
}

void URLSessionTaskOperation::store(TaskState state)
{
    bool finishes;
    {
        std::lock_guard lock(m_stateMutex);
        m_state = state;
        finishes = state == TaskState::completed && m_started;
    }
    if (finishes) {
        setExecuting(false);
        setFinished(true);
    }
}

} // namespace Quarlink
