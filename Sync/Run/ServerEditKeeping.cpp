#include "Sync/Run/ServerEditKeeping.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace Sync {

ServerEditKeeping::ServerEditKeeping(std::shared_ptr<const SyncCollaborators> collaborators, std::shared_ptr<RunWork> work,
    const std::vector<FileRef>& stored, Hooks hooks)
    : m_collaborators(std::move(collaborators))
    , m_work(std::move(work))
    , m_stored(stored)
    , m_hooks(std::move(hooks))
{
}

void ServerEditKeeping::check(std::vector<Change> changes)
{
    m_changes = std::move(changes);
    // The root etag still that of the listing the stored state was brought in
    // step with: no server file changed since its record, and a listing of
    // the whole tree would only say so.
    auto inStep = m_collaborators->fileStore->listingEtag();
    if (!inStep) {
        list();
        return;
    }
    m_work->awaitFirst(m_collaborators->apiClient->syncRootEtag(),
        [self = shared_from_this(), inStep = std::move(*inStep)](Reactive::Event<std::string, Reactive::AnyError>&& answer) {
            if (answer.isValue() && answer.value() == inStep) {
                self->m_hooks.done(std::move(self->m_changes));
                return;
            }
            self->list();
        });
}

void ServerEditKeeping::list()
{
    if (m_work->isStopped()) {
        return;
    }
    m_work->awaitFirst(m_collaborators->apiClient->syncRemoteFiles(),
        [self = shared_from_this()](Reactive::Event<std::vector<FileRef>, Reactive::AnyError>&& answer) {
            self->keep(std::move(self->m_changes), ServerListing::of(std::move(answer)));
        });
}

void ServerEditKeeping::keep(std::vector<Change> changes, ServerListing server)
{
    if (m_work->isStopped()) {
        return;
    }
    m_changes = std::move(changes);
    if (!server.files) {
        holdBack(server.failure);
        return;
    }
    auto edits = serverEditsBefore(m_changes, *server.files, m_stored);
    if (edits.empty()) {
        m_hooks.done(std::move(m_changes));
        return;
    }
    // The copies take names nothing on either side holds: a name of the
    // stored state or of the listing would make the copy pass for that item.
    for (const auto* files : std::initializer_list<const std::vector<FileRef>*> { &*server.files, &m_stored }) {
        for (const auto& file : *files) {
            m_taken->insert(Platform::precomposed(withoutTrailingSlash(file->path())));
        }
    }
    m_edits.assign(std::make_move_iterator(edits.begin()), std::make_move_iterator(edits.end()));
    m_now = Platform::Date::now();
    keepNext();
}

void ServerEditKeeping::holdBack(const std::optional<Reactive::AnyError>& failure)
{
    // Unseen, the server's version could be another client's edit: the
    // uploads over known files wait for a run that can see it, and this
    // run counts as failed, so that the scheduler tries again.
    std::vector<Change> heldBack;
    std::erase_if(m_changes, [&](const Change& change) {
        if (!isContentUpdate(change)) {
            return false;
        }
        heldBack.push_back(change);
        return true;
    });
    if (failure) {
        m_hooks.runFailure(*failure);
        for (const auto& change : heldBack) {
            m_hooks.forward({ SyncEvent::error(*failure), change });
        }
    }
    m_hooks.done(std::move(m_changes));
}

void ServerEditKeeping::keepNext()
{
    if (m_work->isStopped()) {
        return;
    }
    if (m_edits.empty()) {
        m_hooks.done(std::move(m_changes));
        return;
    }
    auto edit = std::move(m_edits.front());
    m_edits.pop_front();
    auto keeping = keepServerVersion(m_collaborators, edit, m_taken, m_now);
    m_work->awaitFirst(keeping,
        [self = shared_from_this(), edit](Reactive::Event<KeptServerVersion, Reactive::AnyError>&& answer) {
            self->tookVersion(edit, std::move(answer));
            self->keepNext();
        });
}

void ServerEditKeeping::tookVersion(const ServerEdit& edit, Reactive::Event<KeptServerVersion, Reactive::AnyError>&& answer)
{
    if (answer.isValue()) {
        auto kept = std::move(answer).value();
        m_taken->insert(Platform::precomposed(kept.path));
        Platform::Log::line("Changed here and on the server: " + kept.localPath + "; the server's version is "
            + (kept.keptBefore ? "already kept as " : "kept as ") + kept.path);
        m_hooks.kept(std::move(kept));
        return;
    }
    // What the upload would replace is not kept: it waits for the next run.
    const auto& update = *edit.update.fileOperation()->file();
    std::erase_if(m_changes, [&](const Change& change) {
        return isContentUpdate(change) && change.fileOperation()->file()->syncFileID() == update.syncFileID();
    });
    if (answer.isFailed()) {
        m_hooks.forward({ SyncEvent::error(std::move(answer).error()), edit.update });
    }
}

} // namespace Sync
