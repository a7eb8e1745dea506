#pragma once

#include "Reactive/AnyError.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Store/FileStore.hpp"
#include "Sync/Store/StoreError.hpp"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Sync {

// The uploads a list of changes sends, as the store keeps them
// (FileStore::uploadIntents) from before the list starts until it has run,
// and what a run that finds some left takes in. A process that ended between
// sending an upload and recording its answer leaves content on the server
// that no record knows of; compared as it is, it would read as another
// client's work, and the file here would go up beside it.
//
// Free functions of the run's step under way: they read and write the
// stores and keep nothing; ListIntents is one per run, touched only by the
// step under way.

// The intents of the content uploads of `changes` that have a hash: by the
// item an update replaces, or by the parent folder and name a create places.
[[nodiscard]] std::vector<UploadIntent> uploadIntentsOf(const std::vector<Change>& changes);

// Records the items of `listing` that `intents` name as this client's own
// uploads' answers, where no record holds them (an update's record takes the
// content it sent; a new item is recorded where no record holds its id or
// path), then forgets the intents. Stops at the first store failure, the
// intents kept.
[[nodiscard]] StoreResult<> adoptUploads(const SyncCollaborators& collaborators, const std::vector<UploadIntent>& intents,
    const std::vector<FileRef>& listing);

// What taking in the uploads an earlier run left unrecorded came to.
struct Adoption {
    enum class Outcome {
        // Nothing was left, or what was is recorded and the intents forgotten.
        adopted,
        // The server's side could not be read (`listingFailure` when the
        // request failed): nothing tells those uploads from another client's
        // items, and what went up now would go up beside them; the intents stay.
        unlisted,
        // The stored state could not be read or written (`storeFailure`).
        storeFailed,
    };
    Outcome outcome { Outcome::adopted };
    std::optional<Reactive::AnyError> listingFailure;
    std::optional<StoreError> storeFailure;
};

// Takes in the uploads the intents the store kept name (see adoptUploads),
// listing the server first when there are any; `done` at once when there
// are none. The listing is the run's work under way: stopping the run
// disposes it, and no record is written once the run stopped.
void adoptUnrecordedUploads(const std::shared_ptr<const SyncCollaborators>& collaborators, RunWork& work,
    std::function<void(Adoption)> done);

// The intents of the list of changes under way: kept before its first change
// is sent, forgotten once every answer of it is recorded (or failed and was
// not taken).
class ListIntents {
public:
    explicit ListIntents(std::shared_ptr<FileStore> store);

    [[nodiscard]] StoreResult<> listStarts(const std::vector<Change>& changes);
    [[nodiscard]] StoreResult<> listRan();

private:
    std::shared_ptr<FileStore> m_store;
    // Whether the list under way kept intents of its own.
    bool m_listHasIntents { false };
};

} // namespace Sync
