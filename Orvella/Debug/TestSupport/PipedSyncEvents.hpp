#pragma once

#include "Orvella/Debug/SyncEventProvider.hpp"

#include <utility>

namespace Orvella::Testing {

// Sync events a test sends itself, from any thread, through `pipe.second`.
struct PipedSyncEvents final : SyncEventProvider {
    std::pair<Reactive::Signal<Sync::SyncEventPair, Reactive::NoError>, Reactive::Observer<Sync::SyncEventPair, Reactive::NoError>> pipe
        = Reactive::Signal<Sync::SyncEventPair, Reactive::NoError>::pipe();
    [[nodiscard]] Reactive::Signal<Sync::SyncEventPair, Reactive::NoError> syncEvents() const override { return pipe.first; }
};

} // namespace Orvella::Testing
