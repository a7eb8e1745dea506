#pragma once

#include "Platform/Network/URLSessionTask.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>

namespace Quarlink {

// A session task's state and bytes sent as streams: the current value at
// once, then every change, on the thread that makes the change (the caller of
// `resume` or `cancel`, or the transport thread), never with a lock held. A
// value older than one already sent is dropped, so values only move forward.
// Neither completes by itself; disposing stops the observation.
[[nodiscard]] Reactive::SignalProducer<Platform::URLSessionTaskState, Reactive::NoError> state(
    const std::shared_ptr<Platform::URLSessionTask>& task);
[[nodiscard]] Reactive::SignalProducer<std::int64_t, Reactive::NoError> countOfBytesSent(
    const std::shared_ptr<Platform::URLSessionTask>& task);

} // namespace Quarlink
