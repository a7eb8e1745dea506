#pragma once

#include "Sync/Model/File.hpp"

#include <string>

namespace Sync {

// Writes an item's binding to its remote id on the item itself while the
// disk store puts it in place: on a staged download before it is synced and
// renamed, on a folder before its own sync. The binding is then as durable
// as the item and comes before its record: a power cut never leaves a
// placed, recorded item without it. The disk store knows nothing of how a
// binding is stored; the engine's reference mapping is its binder.
//
// Calls may come from any thread.
class PlacementBinder {
public:
    virtual ~PlacementBinder() = default;

    // Binds the item that lies at `diskPath` (absolute) now, and at
    // `file.path()` once placed, to the remote id of `file`, as it would be
    // bound at `file.path()`. Whether a binding was written: nothing for a
    // file with a local id, and a binding that cannot be written (a file
    // system without user attributes) is skipped.
    virtual bool bind(const File& file, const std::string& diskPath) const = 0;

    // The item `bind` wrote a binding on now lies in place at `diskPath`,
    // with that binding, and has not changed since.
    virtual void placed(const File& file, const std::string& diskPath) const
    {
        static_cast<void>(file);
        static_cast<void>(diskPath);
    }
};

} // namespace Sync
