#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Reactive/Property.hpp"

namespace Sync {

// What the application tells the disk file store: where the cloud folder is
// and how deletes are done. The store reads both afresh at every operation
// and at every step of a scan that needs them, and never caches them.
// Implementations must allow reading from any thread at any time.
class FileSystemFileStoreConfiguration {
public:
    virtual ~FileSystemFileStoreConfiguration() = default;

    // True: deleted items go to the Trash; false: they are removed.
    [[nodiscard]] virtual Reactive::Property<bool> movesToTrash() const = 0;
    // The cloud folder, a file URL.
    [[nodiscard]] virtual Reactive::Property<Platform::URL> folderURL() const = 0;
};

} // namespace Sync
