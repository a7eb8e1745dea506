#include "Quarlink/Client/Operations/OperationQueue.hpp"

#include <algorithm>
#include <vector>

namespace Quarlink {

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
    struct Waiting {
        std::shared_ptr<Operation> operation;
        QueuePriority priority;
        std::uint64_t sequence;
    };

    explicit State(std::string name)
        : scheduler(Reactive::QueueScheduler::make(std::move(name)))
    {
    }

    // Starts waiting operations while places are free; runs on the scheduler.
    void startWaiting()
    {
        std::vector<std::shared_ptr<Operation>> released;
        {
            std::lock_guard lock(mutex);
            released.swap(finished);
        }
        released.clear();
        for (;;) {
            std::shared_ptr<Operation> next;
            {
                std::lock_guard lock(mutex);
                if (stopped || waiting.empty() || running.size() >= maxConcurrent)
                    return;
                auto best = std::min_element(waiting.begin(), waiting.end(), [](const Waiting& left, const Waiting& right) {
                    if (left.priority != right.priority)
                        return left.priority > right.priority;
                    return left.sequence < right.sequence;
                });
                next = std::move(best->operation);
                waiting.erase(best);
                // The queue keeps a started operation alive until it finishes.
                running.push_back(next);
            }
            begin(next);
        }
    }

    // Starts an operation that already holds a place in `running`.
    void begin(const std::shared_ptr<Operation>& operation)
    {
        std::weak_ptr<State> weakState = weak_from_this();
        operation->setFinishHandler({}, [weakState, finished = operation.get()] {
            if (auto state = weakState.lock())
                state->operationFinished(finished);
        });
        operation->start();
    }

    void operationFinished(const Operation* done)
    {
        bool parked = false;
        {
            std::lock_guard lock(mutex);
            auto found = std::find_if(running.begin(), running.end(),
                [done](const std::shared_ptr<Operation>& operation) { return operation.get() == done; });
            if (found != running.end()) {
                // The operation is released on the queue's thread, never inside its own call.
                finished.push_back(std::move(*found));
                running.erase(found);
            }
            // With nothing waiting to take the place, the queue's thread need
            // not wake for this one: the finished operations go the next time
            // it runs, or once a handful has gathered.
            parked = waiting.empty() && finished.size() < finishedKept;
        }
        operationCount.modify([](std::int64_t& count) { --count; });
        if (!parked)
            scheduleStart();
    }

    void scheduleStart()
    {
        std::weak_ptr<State> weakState = weak_from_this();
        scheduler->schedule([weakState] {
            if (auto state = weakState.lock())
                state->startWaiting();
        });
    }

    std::mutex mutex;
    std::vector<Waiting> waiting;
    std::vector<std::shared_ptr<Operation>> running;
    // Finished operations the queue's thread has yet to release.
    std::vector<std::shared_ptr<Operation>> finished;
    static constexpr std::size_t finishedKept = 8;
    std::size_t maxConcurrent = 1;
    std::uint64_t nextSequence = 0;
    bool stopped = false;
    Reactive::MutableProperty<std::int64_t> operationCount { 0 };
    std::shared_ptr<Reactive::QueueScheduler> scheduler;
};

OperationQueue::OperationQueue(std::string name, std::size_t maxConcurrentOperationCount)
    : m_name(name)
    , m_state(std::make_shared<State>(std::move(name)))
{
    m_state->maxConcurrent = std::max<std::size_t>(1, maxConcurrentOperationCount);
}

OperationQueue::~OperationQueue()
{
    std::vector<State::Waiting> waiting;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopped = true;
        waiting = std::move(m_state->waiting);
        m_state->waiting.clear();
    }
    // Every operation gets its start, so none is left without an end.
    for (auto& entry : waiting)
        entry.operation->start();
}

void OperationQueue::setMaxConcurrentOperationCount(std::size_t count)
{
    {
        std::lock_guard lock(m_state->mutex);
        m_state->maxConcurrent = std::max<std::size_t>(1, count);
    }
    m_state->scheduleStart();
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation)
{
    // Counted before it can start, so the count never dips below zero.
    m_state->operationCount.modify([](std::int64_t& count) { ++count; });
    bool startsNow = false;
    {
        std::lock_guard lock(m_state->mutex);
        // A free place and nobody before it: no order to keep, so it starts
        // here rather than after a wake of the queue's thread.
        if (!m_state->stopped && m_state->waiting.empty() && m_state->running.size() < m_state->maxConcurrent) {
            m_state->running.push_back(operation);
            startsNow = true;
        } else {
            auto priority = operation->queuePriority();
            m_state->waiting.push_back({ std::move(operation), priority, m_state->nextSequence++ });
        }
    }
    if (startsNow)
        m_state->begin(operation);
    else
        m_state->scheduleStart();
}

std::int64_t OperationQueue::operationCount() const
{
    return m_state->operationCount.value();
}

Reactive::SignalProducer<std::int64_t, Reactive::NoError> OperationQueue::numberOfOperations() const
{
    return m_state->operationCount.producer();
}

} // namespace Quarlink
