#pragma once

#include "Quarlink/Client/Operations/Operation.hpp"
#include "Platform/Network/URLSessionTask.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>

namespace Quarlink {

// An operation around a task that already exists (uploads and downloads make
// theirs at stream start, so that progress can be tied to it). The task is
// held weakly; the operation stays executing until the task's state becomes
// completed.
class URLSessionTaskOperation final : public Operation,
                                      public std::enable_shared_from_this<URLSessionTaskOperation> {
public:
    using TaskState = Platform::URLSessionTaskState;

    // `states` sends the task's current state and then every change; the
    // operation observes it for as long as it exists.
    [[nodiscard]] static std::shared_ptr<URLSessionTaskOperation> make(std::weak_ptr<Platform::URLSessionTask> task,
        Reactive::SignalProducer<TaskState, Reactive::NoError> states);
    ~URLSessionTaskOperation() override;

    // Resumes the task when it still exists and the operation is not
    // cancelled; otherwise finishes. A task that completed before the start
    // finishes the operation at once.
    void start() override;
    // Cancels the task when it still exists.
    void cancel() override;

    // The task's state as last observed; suspended at first.
    [[nodiscard]] TaskState state() const;

private:
    explicit URLSessionTaskOperation(std::weak_ptr<Platform::URLSessionTask> task);
    void store(TaskState state);

    std::weak_ptr<Platform::URLSessionTask> m_task;
    mutable std::mutex m_stateMutex;
    TaskState m_state = TaskState::suspended;
    bool m_started = false;
    Reactive::AnyDisposable m_observation;
};

} // namespace Quarlink
