#pragma once

#include "Quarlink/Client/Operations/Operation.hpp"
#include "Platform/Network/URLSessionTask.hpp"

#include <functional>
#include <memory>

namespace Quarlink {

// An operation that makes its session task only when the queue starts it, so
// a request waiting in the queue holds no task. It stays executing until the
// task's completion calls the finish callback.
class LazyURLSessionTaskOperation final : public Operation,
                                          public std::enable_shared_from_this<LazyURLSessionTaskOperation> {
public:
    // Makes the task for a started operation. The task's completion must call
    // `finish` when its work is over, on every path. A factory that makes no
    // task (returns null) must have called `finish` itself.
    using TaskFactory = std::function<std::shared_ptr<Platform::URLSessionTask>(std::function<void()> finish)>;

    [[nodiscard]] static std::shared_ptr<LazyURLSessionTaskOperation> make(TaskFactory createTask);

    // A cancelled operation finishes here without calling the factory;
    // otherwise it becomes executing, makes its task and resumes it.
    void start() override;
    // Cancels the task when there is one. A started operation finishes through
    // its task's completion, an unstarted one at its start.
    void cancel() override;

    // The task made at start; null before, and when none was made.
    [[nodiscard]] std::shared_ptr<Platform::URLSessionTask> task() const;

private:
    explicit LazyURLSessionTaskOperation(TaskFactory createTask);
    void finish();

    TaskFactory m_createTask;
    mutable std::mutex m_taskMutex;
    std::shared_ptr<Platform::URLSessionTask> m_task;
};

} // namespace Quarlink
