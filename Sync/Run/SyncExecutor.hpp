#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Signal.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Execution/SyncEvent.hpp"

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

    // Failures that kept a run from reaching the service or from recording
    // its work (no root folder id, no listing, an unusable stored state),
    // each sent while the run that met it executes, before the run ends.
    // They are not change events: a run that met one may report no event at
    // all. An executor that cannot meet such failures sends nothing.
    [[nodiscard]] virtual Reactive::Signal<Reactive::AnyError, Reactive::NoError> runFailures() const
    {
        return Reactive::Signal<Reactive::AnyError, Reactive::NoError>::pipe().first;
    }
};

} // namespace Sync
