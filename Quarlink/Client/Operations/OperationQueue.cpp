#include "Quarlink/Client/Operations/OperationQueue.hpp"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace Quarlink {

namespace {

// The queue whose waiting operations this thread is starting, one after the
// other: an operation of it that finishes inside its own start leaves its
// place to that loop, so a run of operations that end as they start
// (cancelled ones) neither nests the stack nor wakes the queue's thread.
thread_local const void* startingIn = nullptr;

} // namespace

struct OperationQueue::State : std::enable_shared_from_this<OperationQueue::State> {
    // Where a waiting operation stands: the highest priority first, then the
    // order of adding.
    struct Turn {
        QueuePriority priority;
        std::uint64_t sequence;
        bool operator<(const Turn& other) const
        {
            if (priority != other.priority)
                return priority > other.priority;
            return sequence < other.sequence;
        }
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
        startWhileFree();
    }

    void startWhileFree()
    {
        const void* outer = std::exchange(startingIn, this);
        startWhileFreeHere();
        startingIn = outer;
    }

    void startWhileFreeHere()
    {
        for (;;) {
            std::shared_ptr<Operation> next;
            {
                std::lock_guard lock(mutex);
                if (stopped || waiting.empty() || running.size() >= maxConcurrent)
                    return;
                auto best = waiting.begin();
                next = std::move(best->second);
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
        bool startsHere = false;
        {
            std::lock_guard lock(mutex);
            auto found = std::find_if(running.begin(), running.end(),
                [done](const std::shared_ptr<Operation>& operation) { return operation.get() == done; });
            if (found != running.end()) {
                // The operation is released on the queue's thread, never inside its own call.
                finished.push_back(std::move(*found));
                running.erase(found);
            }
            // The place goes to the next one on this thread, without waiting
            // for the queue's thread to wake: a request's place is held until
            // its successor runs, and that wake is as long as a short request.
            const bool loopTakesIt = startingIn == this;
            startsHere = !loopTakesIt && !stopped && !waiting.empty();
            // The queue's thread need not wake for the finished operation
            // alone: it goes the next time that thread runs, or once a handful
            // has gathered.
            parked = (loopTakesIt || startsHere || waiting.empty()) && finished.size() < finishedKept;
        }
        operationCount.modify([](std::int64_t& count) { --count; });
        if (startsHere)
            startWhileFree();
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
    std::map<Turn, std::shared_ptr<Operation>> waiting;
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
    std::map<State::Turn, std::shared_ptr<Operation>> waiting;
    {
        std::lock_guard lock(m_state->mutex);
        m_state->stopped = true;
        waiting = std::move(m_state->waiting);
        m_state->waiting.clear();
    }
    // Every operation gets its start, so none is left without an end.
    for (auto& [turn, operation] : waiting)
        operation->start();
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
    bool placesTaken = false;
    {
        std::lock_guard lock(m_state->mutex);
        // A free place and nobody before it: no order to keep, so it starts
        // here rather than after a wake of the queue's thread.
        if (!m_state->stopped && m_state->waiting.empty() && m_state->running.size() < m_state->maxConcurrent) {
            m_state->running.push_back(operation);
            startsNow = true;
        } else {
            // With every place taken, the next one to finish starts it.
            placesTaken = m_state->running.size() >= m_state->maxConcurrent;
            auto priority = operation->queuePriority();
            m_state->waiting.emplace(State::Turn { priority, m_state->nextSequence++ }, std::move(operation));
        }
    }
    if (startsNow)
        m_state->begin(operation);
    else if (!placesTaken)
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
