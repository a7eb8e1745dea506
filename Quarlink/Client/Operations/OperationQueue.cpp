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
            std::weak_ptr<State> weakState = weak_from_this();
            next->setFinishHandler({}, [weakState, finished = next.get()] {
                if (auto state = weakState.lock())
                    state->operationFinished(finished);
            });
            next->start();
        }
    }

    void operationFinished(const Operation* finished)
    {
        std::shared_ptr<Operation> released;
        {
            std::lock_guard lock(mutex);
            auto found = std::find_if(running.begin(), running.end(),
                [finished](const std::shared_ptr<Operation>& operation) { return operation.get() == finished; });
            if (found != running.end()) {
                released = std::move(*found);
                running.erase(found);
            }
        }
        operationCount.modify([](std::int64_t& count) { --count; });
        // The operation is released on the queue's thread, never inside its own call.
        std::weak_ptr<State> weakState = weak_from_this();
        scheduler->schedule([weakState, released = std::move(released)] {
            if (auto state = weakState.lock())
                state->startWaiting();
        });
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
    std::lock_guard lock(m_state->mutex);
    m_state->stopped = true;
    m_state->waiting.clear();
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
    {
        std::lock_guard lock(m_state->mutex);
        auto priority = operation->queuePriority();
        m_state->waiting.push_back({ std::move(operation), priority, m_state->nextSequence++ });
    }
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
