#pragma once

// Quarlink/Client/Operations: the asynchronous operations that hold a place in
// the client's request queue for the whole of one transfer, and that queue.

#include "Reactive/NoError.hpp"
#include "Reactive/Signal.hpp"

#include <functional>
#include <memory>
#include <mutex>

namespace Quarlink {

// Which waiting operation a queue starts next: the highest priority first,
// and among equal priorities the one added first.
enum class QueuePriority {
    veryLow,
    low,
    normal,
    high,
    veryHigh,
};

class OperationQueue;

// A unit of asynchronous work run by an `OperationQueue`. It goes waiting ->
// executing -> finished, or waiting -> finished when it is started after a
// cancel. Finished is final. `start()` is called once by the queue, also for
// an operation that was cancelled while waiting; it must not block: the work
// ends later, by `setFinished(true)` from any thread.
//
// Threading: every member may be called from any thread. Flag changes are
// announced on `flagChanges()` (only real changes, in the order made), with
// no lock held.
class Operation {
public:
    enum class Flag { isExecuting, isFinished };

    virtual ~Operation() = default;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    virtual void start() = 0;
    // Marks the operation cancelled. Subclasses also stop their work.
    virtual void cancel();

    [[nodiscard]] bool isAsynchronous() const { return true; }
    [[nodiscard]] bool isCancelled() const;
    [[nodiscard]] bool isExecuting() const;
    [[nodiscard]] bool isFinished() const;
    [[nodiscard]] QueuePriority queuePriority() const;
    // Only read when the operation is added to a queue.
    void setQueuePriority(QueuePriority priority);

    // One value for every actual change of a flag.
    [[nodiscard]] Reactive::Signal<Flag, Reactive::NoError> flagChanges() const { return m_changes.first; }

    // Only the queue sets this: called once, right after the operation finished.
    class QueueKey {
        friend class OperationQueue;
        QueueKey() = default;
    };
    void setFinishHandler(QueueKey, std::function<void()> handler);

protected:
    Operation();
    // Store the flag and announce it, only when the value changes.
    void setExecuting(bool executing);
    void setFinished(bool finished);

private:
    mutable std::mutex m_mutex;
    bool m_cancelled = false;
    bool m_executing = false;
    bool m_finished = false;
    QueuePriority m_priority = QueuePriority::normal;
    std::function<void()> m_finishHandler;
    std::pair<Reactive::Signal<Flag, Reactive::NoError>, Reactive::Observer<Flag, Reactive::NoError>> m_changes;
};

} // namespace Quarlink
