#pragma once

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Run/SyncEvent.hpp"

namespace Sync {

// What the scheduler starts whenever a run is due.
class SyncExecutor {
public:
    virtual ~SyncExecutor() = default;

    // A cold producer of one complete run: each start is a new run, reading
    // everything afresh. It reports every event of every change and never
    // fails; disposing it stops the run (no further change is started).
    // Callers must not start a second run while one is executing.
    [[nodiscard]] virtual Reactive::SignalProducer<SyncEventPair, Reactive::NoError> performSync() = 0;
};

} // namespace Sync
