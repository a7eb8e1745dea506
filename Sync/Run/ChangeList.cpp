#include "Sync/Run/ChangeList.hpp"

#include "Sync/Run/DeleteSafety.hpp"
#include "Sync/Status/FileSyncStatus.hpp"

#include <utility>

namespace Sync {

ChangeList::ChangeList(std::shared_ptr<const SyncCollaborators> collaborators, RemoteChangeExecutor remoteExecutor,
    LocalChangeExecutor localExecutor)
    : m_collaborators(std::move(collaborators))
    , m_remoteExecutor(std::move(remoteExecutor))
    , m_localExecutor(std::move(localExecutor))
    , m_transfersAhead(m_remoteExecutor, m_localExecutor)
    , m_intents(m_collaborators->fileStore)
{
}

StoreResult<> ChangeList::start(std::vector<Change> changes, std::optional<std::int64_t> rootFolderID)
{
    m_valid.clear();
    m_next = 0;
    m_invalid = 0;
    std::vector<FileRef> files;
    for (auto& change : changes) {
        if (change.isInvalid()) {
            ++m_invalid;
            continue;
        }
        if (DeleteSafety::deletesCloudFolder(change, rootFolderID)) {
            continue;
        }
        files.push_back(change.fileOperation()->file());
        m_valid.push_back(std::move(change));
    }
    // Before anything of the list is sent.
    if (auto kept = m_intents.listStarts(m_valid); !kept) {
        return kept;
    }
    // One write for the whole list, before its first change starts.
    if (auto marked = m_collaborators->fileSyncStatusStore->mark(files, FileSyncStatus::syncing,
            m_collaborators->cloudFolder());
        !marked) {
        return marked;
    }
    m_transfersAhead.startList();
    return {};
}

SyncEventProducer ChangeList::next(LocalChangeExecutor::Removal removal)
{
    const auto index = m_next++;
    auto started = m_transfersAhead.sendAhead(m_valid, index);
    const auto& change = m_valid[index];
    switch (change.kind()) {
    case Change::Kind::Local:
        return m_localExecutor.performLocalOperation(*change.fileOperation(), removal, std::move(started));
    case Change::Kind::Remote:
        return m_remoteExecutor.performRemoteOperation(*change.fileOperation(), std::move(started));
    case Change::Kind::Invalid:
        break;
    }
    return SyncEventProducer::empty();
}

StoreResult<> ChangeList::finish()
{
    auto forgotten = m_intents.listRan();
    m_valid.clear();
    return forgotten;
}

void ChangeList::stop()
{
    m_transfersAhead.stop();
}

} // namespace Sync
