#include "Sync/TestSupport/InMemorySyncServer.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace Sync::Testing {

using Reactive::AnyError;
using Reactive::Lifetime;
using Reactive::Observer;
using Reactive::Result;
using Reactive::Unit;

namespace {

AnyError serverError(std::string message)
{
    return AnyError(ServerError { std::move(message) });
}

Platform::Date wholeSeconds(Platform::Date date)
{
    return Platform::Date::fromWholeSecondsSince1970(date.wholeSecondsSince1970());
}

Result<std::string, AnyError> readContent(const Platform::URL& cloudFolder, const std::string& path)
{
    auto resolved = Platform::PathResolver(cloudFolder.path()).resolve(path);
    if (!resolved) {
        return std::unexpected(AnyError(resolved.error()));
    }
    // As the real client reads an upload: never through a link, never blocked by a pipe.
    auto data = Platform::Data::contentsOfFile(*resolved);
    if (!data) {
        return std::unexpected(serverError("cannot read " + path + ": " + data.error().message()));
    }
    return std::string(data->bytes().begin(), data->bytes().end());
}

} // namespace

RemoteFile::RemoteFile(Fields fields)
    : m_fields(std::move(fields))
    , m_syncFileID(SyncFileID::remote(m_fields.id))
    , m_syncParentID(SyncFileID::remote(m_fields.parentID))
    , m_etag(m_fields.etag)
    , m_fileHash(m_fields.fileHash)
{
    // The text lives in m_fileHash alone.
    std::string().swap(m_fields.fileHash);
}

InMemorySyncServer::InMemorySyncServer()
{
    Item root;
    root.id = rootID;
    root.folder = true;
    root.mimeType = std::string(FileType::folderMimeType);
    root.etag = "etag-0";
    m_items.emplace(rootID, std::move(root));
}

template<class T>
SyncAPIClient::Producer<T> InMemorySyncServer::operation(Call call, std::string path,
    std::function<Result<T, AnyError>()> work)
{
    Producer<T> producer([self = shared_from_this(), call, path = std::move(path), work = std::move(work)](
                             Observer<T, AnyError> observer, Lifetime) {
        if (self->consumeFailure(call, path)) {
            observer.sendFailed(serverError("injected failure of " + path));
            return;
        }
        auto result = work();
        if (!result) {
            observer.sendFailed(std::move(result.error()));
            return;
        }
        if (call == Call::upload || call == Call::reupload || call == Call::createFolder || call == Call::deleteItem
            || call == Call::rename || call == Call::move) {
            self->persist();
            self->step("server.stored");
        }
        if constexpr (!std::is_same_v<T, Unit>) {
            observer.send(std::move(*result));
        }
        observer.sendCompleted();
    });
    std::lock_guard lock(m_mutex);
    return m_delivery ? producer.startOn(m_delivery) : producer;
}

bool InMemorySyncServer::consumeFailure(Call call, const std::string& path)
{
    std::lock_guard lock(m_mutex);
    ++m_calls[static_cast<std::size_t>(call)];
    for (auto failure = m_failures.begin(); failure != m_failures.end(); ++failure) {
        if (failure->call != call || (failure->path && !Platform::canonicallyEqual(*failure->path, path))) {
            continue;
        }
        if (failure->remaining > 0 && --failure->remaining == 0) {
            m_failures.erase(failure);
        }
        return true;
    }
    return false;
}

SyncAPIClient::Producer<std::int64_t> InMemorySyncServer::syncRootFolderID()
{
    return operation<std::int64_t>(Call::rootFolderID, "/", [] { return rootID; });
}

SyncAPIClient::Producer<std::vector<FileRef>> InMemorySyncServer::syncRemoteFiles()
{
    return operation<std::vector<FileRef>>(Call::remoteFiles, "/", [this] {
        std::lock_guard lock(m_mutex);
        std::vector<FileRef> files;
        files.reserve(m_items.size());
        for (const auto& [id, item] : m_items) {
            if (id != rootID) {
                auto file = answer(item);
                if (!hiddenFromListing(file->path())) {
                    files.push_back(std::move(file));
                }
            }
        }
        files.insert(files.end(), m_extraEntries.begin(), m_extraEntries.end());
        for (auto& [path, remaining] : m_hidden) {
            --remaining;
        }
        std::erase_if(m_hidden, [](const auto& hidden) { return hidden.second <= 0; });
        return files;
    });
}

SyncAPIClient::Producer<std::string> InMemorySyncServer::syncRootEtag()
{
    return operation<std::string>(Call::rootEtag, "/", [this] { return rootEtag(); });
}

SyncAPIClient::Producer<DownloadedFileRef> InMemorySyncServer::syncDownload(FileRef file)
{
    auto path = file->path();
    return operation<DownloadedFileRef>(Call::download, path, [this, file]() -> Result<DownloadedFileRef, AnyError> {
        std::string content;
        std::int64_t serial = 0;
        {
            std::lock_guard lock(m_mutex);
            auto item = requireItem(*file);
            if (!item) {
                return std::unexpected(item.error());
            }
            content = (*item)->content;
            serial = ++m_downloads;
        }
        // Where a transport keeps its finished files: outside the cloud folder.
        const auto temporary = (std::filesystem::temp_directory_path()
            / ("in-memory-download-" + std::to_string(::getpid()) + "-" + std::to_string(serial)))
                                   .string();
        auto downloaded = std::make_shared<DownloadedFile>(temporary);
        {
            std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
            stream << content;
            if (!stream.flush()) {
                return std::unexpected(serverError("cannot write " + temporary));
            }
        }
        step("download.staged");
        return downloaded;
    });
}

Reactive::Result<InMemorySyncServer::Item, AnyError> InMemorySyncServer::newChild(const File& file)
{
    auto parentID = file.syncParentID().remoteID();
    auto* parent = parentID ? find(*parentID) : nullptr;
    if (!parent || !parent->folder) {
        return std::unexpected(serverError("no parent folder for " + file.path()));
    }
    auto name = Platform::precomposed(file.fileName());
    if (child(parent->id, name)) {
        return std::unexpected(serverError("name taken: " + file.path()));
    }
    Item item;
    item.parentID = parent->id;
    item.name = std::move(name);
    return item;
}

std::string InMemorySyncServer::freeName(std::int64_t parentID, const std::string& name)
{
    // A leading dot starts a name, not an extension.
    auto dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos) {
        dot = name.size();
    }
    for (int number = 1;; ++number) {
        auto candidate = name.substr(0, dot) + " (" + std::to_string(number) + ")" + name.substr(dot);
        if (!child(parentID, candidate)) {
            return candidate;
        }
    }
}

bool InMemorySyncServer::hiddenFromListing(const std::string& path) const
{
    return std::ranges::any_of(m_hidden, [&](const auto& hidden) {
        const auto& [at, remaining] = hidden;
        return remaining > 0 && (path == at || (at.ends_with('/') && path.starts_with(at)));
    });
}

SyncAPIClient::Producer<FileRef> InMemorySyncServer::syncUpload(FileRef file, Platform::URL cloudFolder)
{
    return operation<FileRef>(Call::upload, file->path(), [this, file, cloudFolder]() -> Result<FileRef, AnyError> {
        auto content = readContent(cloudFolder, file->path());
        if (!content) {
            return std::unexpected(content.error());
        }
        step("upload.read");
        std::lock_guard lock(m_mutex);
        const auto hash = Platform::sha1Hex(*content);
        auto created = newChild(*file);
        if (!created && m_uploadsBesideTakenNames) {
            auto parentID = file->syncParentID().remoteID();
            auto* taken = parentID ? child(*parentID, Platform::precomposed(file->fileName())) : nullptr;
            if (taken && !taken->folder && taken->hash != hash) {
                Item beside;
                beside.parentID = *parentID;
                beside.name = freeName(*parentID, Platform::precomposed(file->fileName()));
                created = std::move(beside);
            }
        }
        if (!created) {
            return std::unexpected(created.error());
        }
        Item item = std::move(*created);
        item.mimeType = file->type().mimeType();
        item.hash = hash;
        item.content = std::move(*content);
        item.modified = wholeSeconds(file->lastModifiedDate());
        return FileRef(answer(*find(insert(std::move(item)))));
    });
}

SyncAPIClient::Producer<FileRef> InMemorySyncServer::syncReupload(FileRef file, Platform::URL cloudFolder)
{
    return operation<FileRef>(Call::reupload, file->path(), [this, file, cloudFolder]() -> Result<FileRef, AnyError> {
        auto content = readContent(cloudFolder, file->path());
        if (!content) {
            return std::unexpected(content.error());
        }
        std::lock_guard lock(m_mutex);
        auto item = requireItem(*file);
        if (!item) {
            return std::unexpected(item.error());
        }
        if ((*item)->folder) {
            return std::unexpected(serverError("not a file: " + file->path()));
        }
        (*item)->hash = Platform::sha1Hex(*content);
        (*item)->content = std::move(*content);
        (*item)->modified = wholeSeconds(file->lastModifiedDate());
        (*item)->etag = nextEtag();
        return FileRef(answer(**item));
    });
}

SyncAPIClient::Producer<FileRef> InMemorySyncServer::syncCreateFolder(FileRef file)
{
    return operation<FileRef>(Call::createFolder, file->path(), [this, file]() -> Result<FileRef, AnyError> {
        std::lock_guard lock(m_mutex);
        auto created = newChild(*file);
        if (!created) {
            return std::unexpected(created.error());
        }
        Item item = std::move(*created);
        item.folder = true;
        item.mimeType = std::string(FileType::folderMimeType);
        item.modified = wholeSeconds(file->lastModifiedDate());
        return FileRef(answer(*find(insert(std::move(item)))));
    });
}

SyncAPIClient::Producer<Unit> InMemorySyncServer::syncDelete(FileRef file)
{
    return operation<Unit>(Call::deleteItem, file->path(), [this, file]() -> Result<Unit, AnyError> {
        std::lock_guard lock(m_mutex);
        auto item = requireItem(*file);
        if (!item) {
            // An item the server does not have is deleted, as the application's client reports it.
            if (auto id = file->syncFileID().remoteID(); id && *id != rootID) {
                return Unit();
            }
            return std::unexpected(item.error());
        }
        erase((*item)->id);
        nextEtag();
        return Unit();
    });
}

SyncAPIClient::Producer<FileRef> InMemorySyncServer::syncRename(FileRef file)
{
    return operation<FileRef>(Call::rename, file->path(), [this, file]() -> Result<FileRef, AnyError> {
        std::lock_guard lock(m_mutex);
        auto item = requireItem(*file);
        if (!item) {
            return std::unexpected(item.error());
        }
        auto name = Platform::precomposed(file->fileName());
        if (auto* existing = child((*item)->parentID, name); existing && existing != *item) {
            return std::unexpected(serverError("name taken: " + file->path()));
        }
        reparent(**item, (*item)->parentID, std::move(name));
        return FileRef(answer(**item));
    });
}

SyncAPIClient::Producer<FileRef> InMemorySyncServer::syncMove(FileRef file)
{
    return operation<FileRef>(Call::move, file->path(), [this, file]() -> Result<FileRef, AnyError> {
        std::lock_guard lock(m_mutex);
        auto item = requireItem(*file);
        if (!item) {
            return std::unexpected(item.error());
        }
        auto parentID = file->syncParentID().remoteID();
        auto* parent = parentID ? find(*parentID) : nullptr;
        if (!parent || !parent->folder) {
            return std::unexpected(serverError("no parent folder for " + file->path()));
        }
        for (auto* above = parent; above; above = above->id == rootID ? nullptr : find(above->parentID)) {
            if (above == *item) {
                return std::unexpected(serverError("cannot move a folder into itself: " + file->path()));
            }
        }
        // The service's move endpoint takes only the new parent: the name stays.
        if (child(parent->id, (*item)->name)) {
            return std::unexpected(serverError("name taken: " + file->path()));
        }
        reparent(**item, parent->id, (*item)->name);
        return FileRef(answer(**item));
    });
}

SyncAPIClient::Producer<SyncAPIClient::PublicShare> InMemorySyncServer::syncPublicShareInfo(FileRef file)
{
    return operation<PublicShare>(Call::publicShareInfo, file->path(), [this, file]() -> Result<PublicShare, AnyError> {
        std::lock_guard lock(m_mutex);
        auto item = requireItem(*file);
        if (!item) {
            return std::unexpected(item.error());
        }
        return (*item)->publicShare;
    });
}

SyncAPIClient::Producer<SyncAPIClient::PrivateShares> InMemorySyncServer::syncPrivateShareInfos(FileRef file)
{
    return operation<PrivateShares>(Call::privateShareInfos, file->path(),
        [this, file]() -> Result<PrivateShares, AnyError> {
            std::lock_guard lock(m_mutex);
            auto item = requireItem(*file);
            if (!item) {
                return std::unexpected(item.error());
            }
            return (*item)->privateShares;
        });
}

} // namespace Sync::Testing
