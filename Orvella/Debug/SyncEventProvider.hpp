#pragma once

#include "Reactive/NoError.hpp"
#include "Reactive/Signal.hpp"
#include "Sync/Execution/SyncEvent.hpp"

namespace Orvella {

// Every event of every sync run, with the change it is about; delivered on
// the sync engine's own thread. The sync manager serves it.
class SyncEventProvider {
public:
    virtual ~SyncEventProvider() = default;
    [[nodiscard]] virtual Reactive::Signal<Sync::SyncEventPair, Reactive::NoError> syncEvents() const = 0;
};

} // namespace Orvella
