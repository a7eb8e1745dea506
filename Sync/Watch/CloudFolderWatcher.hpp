#pragma once

// Sync/Watch: turns changes on disk below the cloud folder into trigger values
// for the sync scheduler.

#include "Sync/Watch/CloudFolderProvider.hpp"
#include "Sync/Watch/FileSystemTrigger.hpp"
#include "Sync/Watch/QVFileSystemEventsWatcher.hpp"

#include <memory>

namespace Sync {

// The local trigger: follows the application's current cloud folder and
// watches it, one watcher at a time.
//
// A start of `cloudFolderChanged()` sends one value at once, one whenever
// the cloud folder setting changes (the old folder's watcher is stopped
// first, latest wins), and one per watcher call for the current folder
// (see QVFileSystemEventsWatcher: gathered over its latency, the engine's own
// registered changes left out). A folder that does not exist yet is logged
// and watched from the moment it is made (one value then).
//
// Threading: values arrive on the thread that starts the producer (the
// first), on the thread on which the setting changed, and on the watcher's
// event queue. The watcher holds only its provider and options; every
// watcher belongs to a start of the producer and ends with it.
class CloudFolderWatcher final : public FileSystemTrigger {
public:
    explicit CloudFolderWatcher(std::shared_ptr<CloudFolderProvider> cloudFolderProvider,
        QVFileSystemEventsWatcher::Options options = {});

    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> cloudFolderChanged() const override;

private:
    std::shared_ptr<CloudFolderProvider> m_cloudFolderProvider;
    QVFileSystemEventsWatcher::Options m_options;
};

} // namespace Sync
