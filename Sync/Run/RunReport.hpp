#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Observer.hpp"
#include "Sync/Execution/ServerVersionCopy.hpp"
#include "Sync/Execution/SyncEvent.hpp"

#include <cstddef>
#include <vector>

namespace Sync {

// Where a run's events, failures and findings go.
struct RunOutputs {
    Reactive::Observer<SyncEventPair, Reactive::NoError> syncEvents;
    Reactive::Observer<Reactive::AnyError, Reactive::NoError> checkErrors;
    Reactive::Observer<SyncEventPair, Reactive::NoError> caller;
    // Whatever kept the run from the service or its stored state (see SyncExecutor::runFailures).
    Reactive::Observer<Reactive::AnyError, Reactive::NoError> runFailures;
    // At the end of a run whose deletes all went to the Trash (see SyncRun): how many did.
    Reactive::Observer<std::size_t, Reactive::NoError> trashedForSafety;
    // At the end of a run that kept server versions beside local files (see SyncRun): which.
    Reactive::Observer<std::vector<KeptServerVersion>, Reactive::NoError> serverVersionsKept;
};

// What a run tells those who follow it, in the order they rely on: the
// manager's observers (the status bookkeeping, the application) see every
// event before whoever started the run, and what the run found along the
// way (deletes sent to the Trash, server versions kept) goes out just
// before it completes.
//
// One per run; touched only by the step under way.
class RunReport {
public:
    explicit RunReport(RunOutputs outputs);

    void event(const SyncEventPair& pair);
    // A failure that kept the run from the service or its stored state.
    void runFailure(const Reactive::AnyError& error);
    // A run failure that is also a check error (a listing, the stored state).
    void failure(Reactive::AnyError error);
    // The one error event of a run that ends before it began: the cloud
    // folder cannot be read. Completes the run; nothing else goes out.
    void endUnread(Reactive::AnyError error);
    void keptServerVersion(KeptServerVersion kept);
    // Sends what the run found, then completes it.
    void completed(std::size_t trashedForSafety);

private:
    RunOutputs m_outputs;
    std::vector<KeptServerVersion> m_serverVersionsKept;
};

} // namespace Sync
