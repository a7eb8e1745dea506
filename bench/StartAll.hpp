#pragma once
// Starts many producers at once and waits until every one has ended, so a
// benchmark measures a batch of requests the way a sync run issues them.

#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <atomic>
#include <future>
#include <vector>

namespace Bench {

// The number of producers that did not complete (failed or were interrupted).
template<class V>
int startAllAndWait(const std::vector<Reactive::SignalProducer<V, Reactive::AnyError>>& producers)
{
    if (producers.empty())
        return 0;
    std::atomic<int> remaining { static_cast<int>(producers.size()) };
    std::atomic<int> failures { 0 };
    std::promise<void> done;
    std::vector<Reactive::AnyDisposable> starts;
    starts.reserve(producers.size());
    for (const auto& producer : producers) {
        starts.push_back(producer.startWithEvents([&](const Reactive::Event<V, Reactive::AnyError>& event) {
            if (!event.isTerminating())
                return;
            if (!event.isCompleted())
                ++failures;
            if (--remaining == 0)
                done.set_value();
        }));
    }
    done.get_future().wait();
    return failures.load();
}

}
