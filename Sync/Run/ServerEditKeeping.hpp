#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Reactive/AnyError.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Changes/ServerEdits.hpp"
#include "Sync/Execution/ServerVersionCopy.hpp"
#include "Sync/Execution/SyncCollaborators.hpp"
#include "Sync/Execution/SyncEvent.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Run/RunWork.hpp"
#include "Sync/Run/ServerListing.hpp"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace Sync {

// An upload of local content never replaces a server file that changed since
// its stored record unseen. Before the local phase's changes run, the uploads
// of known files are checked against the server's listing (one read already,
// else one of its own, unless the root etag is still the one of the listing
// the stored state is in step with: then no server file changed). The
// server's version of each such file is downloaded beside it under its
// conflict name and made durable first (keepServerVersion), one at a time,
// and only then do the changes go on; an upload whose server version could
// not be kept, or could not be checked, waits for the next run.
//
// Lifetime: one per list of changes, kept alive only by its own requests, so
// that a stopped run, which disposes the request under way, lets it go. It
// reads the run's stored records (`stored`), which outlive it (the hooks
// hold the run) and do not change while it is under way. Threading: its
// steps follow one another as the run's do (see RunWork).
class ServerEditKeeping final : public std::enable_shared_from_this<ServerEditKeeping> {
public:
    struct Hooks {
        // An error event about one change, sent as the run sends its own.
        std::function<void(const SyncEventPair&)> forward;
        // What kept the uploads over known files from being checked.
        std::function<void(const Reactive::AnyError&)> runFailure;
        // A server version kept beside its local file.
        std::function<void(KeptServerVersion)> kept;
        // The changes that may go now; not called once the run stopped.
        std::function<void(std::vector<Change>)> done;
    };

    ServerEditKeeping(std::shared_ptr<const SyncCollaborators> collaborators, std::shared_ptr<RunWork> work,
        const std::vector<FileRef>& stored, Hooks hooks);

    // Checks `changes` against the server's side, listing it unless it is in
    // step with the stored state.
    void check(std::vector<Change> changes);
    // Checks `changes` against `server`, a listing read already.
    void keep(std::vector<Change> changes, ServerListing server);

private:
    void list();
    // The server's side unseen: the uploads over known files wait.
    void holdBack(const std::optional<Reactive::AnyError>& failure);
    void keepNext();
    void tookVersion(const ServerEdit& edit, Reactive::Event<KeptServerVersion, Reactive::AnyError>&& answer);

    std::shared_ptr<const SyncCollaborators> m_collaborators;
    std::shared_ptr<RunWork> m_work;
    const std::vector<FileRef>& m_stored;
    Hooks m_hooks;
    std::vector<Change> m_changes;
    std::deque<ServerEdit> m_edits;
    // The names the kept copies may not take (see keep), read by the copy under way.
    std::shared_ptr<std::unordered_set<std::string>> m_taken { std::make_shared<std::unordered_set<std::string>>() };
    Platform::Date m_now;
};

} // namespace Sync
