#pragma once

#include "Reactive/NoError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

namespace Sync {

// What the sync scheduler takes as its local trigger.
class FileSystemTrigger {
public:
    virtual ~FileSystemTrigger() = default;

    // Sends an empty value whenever the cloud folder should be looked at
    // again; never fails. Every call builds a new producer, and each start
    // watches on its own until it is disposed.
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> cloudFolderChanged() const = 0;
};

} // namespace Sync
