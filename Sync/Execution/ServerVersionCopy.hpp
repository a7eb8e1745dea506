#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Changes/ServerEdits.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"

#include <string>
#include <unordered_set>

namespace Sync {

// The server's version of a file, kept beside the local file.
struct KeptServerVersion {
    // Where it lies, relative to the cloud folder.
    std::string path;
    // The local file it is the other version of.
    std::string localPath;
    // Kept by an earlier run that ended before its upload went out.
    bool keptBefore = false;
};

// Downloads the server's version of `edit` beside the local file, under its
// conflict name (conflictName at `now`, the first number whose name neither
// the folder on disk nor `takenPaths`, precomposed, hold), and makes it
// durable (file and folder synced) before the value is sent: only then may
// the upload replace it. A file an earlier run kept there (a conflict name of
// the local file with the server's content) is taken as it is, without a
// download. Nothing is recorded: the next run uploads it as a new file.
[[nodiscard]] Reactive::SignalProducer<KeptServerVersion, Reactive::AnyError> keepServerVersion(
    std::shared_ptr<const SyncCollaborators> collaborators, ServerEdit edit,
    std::shared_ptr<const std::unordered_set<std::string>> takenPaths, Platform::Date now);

} // namespace Sync
