#include "Quarlink/Client/Operations/LazyURLSessionTaskOperation.hpp"

namespace Quarlink {

std::shared_ptr<LazyURLSessionTaskOperation> LazyURLSessionTaskOperation::make(TaskFactory createTask)
{
    return std::shared_ptr<LazyURLSessionTaskOperation>(new LazyURLSessionTaskOperation(std::move(createTask)));
}

LazyURLSessionTaskOperation::LazyURLSessionTaskOperation(TaskFactory createTask)
    : m_createTask(std::move(createTask))
{
}

void LazyURLSessionTaskOperation::start()
{
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    std::weak_ptr<LazyURLSessionTaskOperation> weakSelf = weak_from_this();
    auto task = m_createTask([weakSelf] {
        if (auto self = weakSelf.lock())
            self->finish();
    });
    // What the factory holds (the caller's observer among it) now lives with
    // the task's completion alone, not with the finished operation.
    m_createTask = nullptr;
    if (!task)
        return;
    {
        std::lock_guard lock(m_taskMutex);
        m_task = task;
    }
    // A cancel that came while the task was being made found no task to stop.
    if (isCancelled())
        task->cancel();
    else
        task->resume();
}

void LazyURLSessionTaskOperation::cancel()
{
    Operation::cancel();
    if (auto current = task())
        current->cancel();
}

std::shared_ptr<Platform::URLSessionTask> LazyURLSessionTaskOperation::task() const
{
    std::lock_guard lock(m_taskMutex);
    return m_task;
}

void LazyURLSessionTaskOperation::finish()
{
    setFinished(true);
    setExecuting(false);
}

} // namespace Quarlink
