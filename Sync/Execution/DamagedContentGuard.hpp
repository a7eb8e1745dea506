#pragma once

#include "Sync/Execution/ChangeEvents.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"

#include <memory>
#include <string>

namespace Sync {

// A local file whose content changed in a way no edit does is never
// uploaded over the server's copy. A power cut that lost a file's data
// leaves its name, its date and its record: the content then differs from
// the record while the date is still the recorded one (an editor changes the
// date; a cut does not), or it is empty or holds only zeros where the record
// holds content. Such a file is damaged, not edited.
//
// `damagedRecord` is the whole rule: the stored record of `file` (a scanned
// file of the remote phase, at its path below the cloud folder at
// `cloudFolder`) when the file is damaged against it, else null. Reads the
// stored record and, only when the dates differ, the file's bytes up to the
// first one that is not zero.
[[nodiscard]] FileRef damagedRecord(const SyncCollaborators& collaborators, const File& file,
    const Platform::URL& cloudFolder);

// The work of the change `change` about the damaged `file` instead of its
// upload: the server's version of `record` is downloaded; the local bytes,
// unless they are only zeros, are kept beside as a new file of the user's
// (FileSystemFileStore::keepCopy, uploaded by a later phase like any new
// file); then the server's version replaces the file durably and is
// recorded. Nothing is sent to the server but the download; the log says
// what was done. A failure at any step leaves the file as it was.
[[nodiscard]] SyncEventProducer restoreServerVersion(const std::shared_ptr<const SyncCollaborators>& collaborators,
    const Change& change, const FileRef& file, const FileRef& record);

} // namespace Sync
