#include "Sync/Run/UploadIntents.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Changes/FileOperation.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Store/StoredChange.hpp"

#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace Sync {

namespace {

std::optional<UploadIntent> uploadIntentOf(const Change& change)
{
    const auto& operation = *change.fileOperation();
    if (!change.isRemote() || !carriesContent(operation)) {
        return std::nullopt;
    }
    const auto& file = *operation.file();
    const auto hash = file.fileHash();
    if (hash.empty() || hash == FileWrapperItem::missingFileHashKey) {
        return std::nullopt;
    }
    UploadIntent intent;
    intent.fileHash = std::string(hash);
    if (operation.kind() == FileOperation::Kind::Create) {
        auto parent = file.syncParentID().remoteID();
        if (!parent) {
            return std::nullopt;
        }
        intent.parentID = *parent;
        intent.name = Platform::precomposed(file.fileName());
        return intent;
    }
    intent.fileID = file.syncFileID().remoteID();
    if (!intent.fileID) {
        return std::nullopt;
    }
    return intent;
}

// The stored records, by remote id and by path (NFC).
struct Recorded {
    std::unordered_map<std::int64_t, FileRef> byID;
    std::unordered_set<std::string> paths;

    explicit Recorded(std::vector<FileRef>&& records)
    {
        for (auto& record : records) {
            paths.insert(Platform::precomposed(withoutTrailingSlash(record->path())));
            if (auto id = record->syncFileID().remoteID()) {
                byID.emplace(*id, std::move(record));
            }
        }
    }
};

// The server's items, by remote id and by parent and name (NFC).
struct Listed {
    std::unordered_map<std::int64_t, FileRef> byID;
    std::map<std::pair<std::int64_t, std::string>, FileRef> byPlace;

    explicit Listed(const std::vector<FileRef>& listing)
    {
        for (const auto& file : listing) {
            auto id = file->syncFileID().remoteID();
            auto parent = file->syncParentID().remoteID();
            if (!id || !parent) {
                continue;
            }
            byID.emplace(*id, file);
            byPlace.emplace(std::pair(*parent, Platform::precomposed(file->fileName())), file);
        }
    }
};

// An update that reached the server: its record takes the content it sent,
// so that the server's copy is not taken for someone else's edit.
StoreResult<> adoptUpdate(const SyncCollaborators& collaborators, const UploadIntent& intent, const Recorded& recorded,
    const Listed& listed)
{
    auto server = listed.byID.find(*intent.fileID);
    auto record = recorded.byID.find(*intent.fileID);
    if (server == listed.byID.end() || record == recorded.byID.end() || isFolder(*server->second)
        || server->second->fileHash() != intent.fileHash || record->second->fileHash() == intent.fileHash) {
        return {};
    }
    auto adopted = std::make_shared<FileWrapperItem>(*record->second);
    adopted->setFileHash(server->second->fileHash());
    adopted->setLastModifiedDate(server->second->lastModifiedDate());
    adopted->setSyncEtag(server->second->syncEtag());
    return collaborators.record(StoredChange::storing(adopted));
}

// A new item that reached the server: recorded as the upload's answer would
// have been, where nothing else is recorded, so that the file here compares
// with it instead of going up beside it.
StoreResult<> adoptCreate(const SyncCollaborators& collaborators, const UploadIntent& intent, Recorded& recorded,
    const Listed& listed, const Platform::URL& cloudFolder)
{
    auto server = listed.byPlace.find(std::pair(intent.parentID, intent.name));
    if (server == listed.byPlace.end()) {
        return {};
    }
    const auto& file = server->second;
    const auto id = *file->syncFileID().remoteID();
    // Its parent is recorded, or is the cloud folder, which no listing holds.
    const bool parentKnown = recorded.byID.contains(intent.parentID) || !listed.byID.contains(intent.parentID);
    if (isFolder(*file) || file->fileHash() != intent.fileHash || recorded.byID.contains(id) || !parentKnown
        || recorded.paths.contains(Platform::precomposed(file->path()))) {
        return {};
    }
    auto stored = StoredChange::storing(file);
    if (auto written = collaborators.record(stored.markUpToDate(*file, cloudFolder)); !written) {
        return written;
    }
    Platform::Log::line("Recorded an upload an earlier run sent and did not record: " + file->path());
    recorded.byID.emplace(id, file);
    recorded.paths.insert(Platform::precomposed(file->path()));
    return {};
}

} // namespace

std::vector<UploadIntent> uploadIntentsOf(const std::vector<Change>& changes)
{
    std::vector<UploadIntent> intents;
    for (const auto& change : changes) {
        if (auto intent = uploadIntentOf(change)) {
            intents.push_back(std::move(*intent));
        }
    }
    return intents;
}

StoreResult<> adoptUploads(const SyncCollaborators& collaborators, const std::vector<UploadIntent>& intents,
    const std::vector<FileRef>& listing)
{
    auto loaded = collaborators.fileStore->loadFiles();
    if (!loaded) {
        return std::unexpected(std::move(loaded.error()));
    }
    Recorded recorded(std::move(*loaded));
    const Listed listed(listing);
    const auto cloudFolder = collaborators.cloudFolder();
    for (const auto& intent : intents) {
        auto adopted = intent.fileID ? adoptUpdate(collaborators, intent, recorded, listed)
                                     : adoptCreate(collaborators, intent, recorded, listed, cloudFolder);
        if (!adopted) {
            return adopted;
        }
    }
    return collaborators.fileStore->setUploadIntents({});
}

void adoptUnrecordedUploads(const std::shared_ptr<const SyncCollaborators>& collaborators, RunWork& work,
    std::function<void(Adoption)> done)
{
    auto intents = collaborators->fileStore->uploadIntents();
    if (intents.empty()) {
        done({});
        return;
    }
    work.awaitFirst(collaborators->apiClient->syncRemoteFiles(),
        [running = work.shared_from_this(), collaborators, intents = std::move(intents), done = std::move(done)](
            Reactive::Event<std::vector<FileRef>, Reactive::AnyError>&& answer) {
            if (!answer.isValue()) {
                auto failure = answer.isFailed() ? std::optional(std::move(answer).error()) : std::nullopt;
                done({ Adoption::Outcome::unlisted, std::move(failure), std::nullopt });
                return;
            }
            if (running->isStopped()) {
                return;
            }
            if (auto adopted = adoptUploads(*collaborators, intents, answer.value()); !adopted) {
                done({ Adoption::Outcome::storeFailed, std::nullopt, std::move(adopted.error()) });
                return;
            }
            done({});
        });
}

ListIntents::ListIntents(std::shared_ptr<FileStore> store)
    : m_store(std::move(store))
{
}

StoreResult<> ListIntents::listStarts(const std::vector<Change>& changes)
{
    auto intents = uploadIntentsOf(changes);
    m_listHasIntents = !intents.empty();
    if (!m_listHasIntents) {
        return {};
    }
    return m_store->setUploadIntents(intents);
}

StoreResult<> ListIntents::listRan()
{
    if (!std::exchange(m_listHasIntents, false)) {
        return {};
    }
    return m_store->setUploadIntents({});
}

} // namespace Sync
