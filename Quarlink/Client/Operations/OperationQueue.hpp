#pragma once

#include "Quarlink/Client/Operations/Operation.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace Quarlink {

// Runs operations, at most `maxConcurrentOperationCount` at a time. A waiting
// operation starts when a place is free: the highest queue priority first,
// and first in, first out among equal priorities. An operation holds its
// place from `start()` until it finishes.
//
// Threading: every member may be called from any thread. An operation added
// while a place is free and none is waiting starts at once, on the adding
// thread; one that takes the place of a finished operation starts on the
// thread that finished it, unless that happened inside an operation's
// `start()`; every other one starts on the queue's own thread.
// Finished operations are released on the queue's thread. Destroying the queue
// starts the operations still waiting at once, on the destroying thread and
// regardless of the width, so that each of them ends; it is meant for work
// whose means are gone by then (cancelled operations, invalidated sessions).
class OperationQueue {
public:
    explicit OperationQueue(std::string name, std::size_t maxConcurrentOperationCount = 1);
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    [[nodiscard]] const std::string& name() const { return m_name; }
    void setMaxConcurrentOperationCount(std::size_t count);

    // Adds an operation that was never added to a queue before.
    void addOperation(std::shared_ptr<Operation> operation);

    // Operations added and not yet finished (waiting or executing).
    [[nodiscard]] std::int64_t operationCount() const;
    // The current count, then every change.
    [[nodiscard]] Reactive::SignalProducer<std::int64_t, Reactive::NoError> numberOfOperations() const;

    struct State;

private:
    std::string m_name;
    std::shared_ptr<State> m_state;
};

} // namespace Quarlink
