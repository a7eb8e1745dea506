#include "Sync/Store/RealmFileStore.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Store/DatabaseChangeProducer.hpp"
#include "Sync/Store/FileWrapper.hpp"

#include <utility>

namespace Sync {

using Platform::Database;
using Platform::DatabaseError;

namespace {

void logFailure(const DatabaseError& error)
{
    Platform::Log::failure(error.description());
}

void logLocalIDRefused(const File& file)
{
    Platform::Log::failure("Not storing a file without a remote id: " + file.path());
}

// A stored row as a record; nullptr, with the one log line per read, when its bytes do not decode.
std::shared_ptr<FileWrapperItem> decode(const FileWrapper& row)
{
    auto item = FileWrapperItem::create(Platform::Data(row.fileData));
    if (!item)
        Platform::Log::line("Could not create File from fileWrapper data!");
    return item;
}

// The row for `file` with the given share details; `file` must have a remote id.
FileWrapper encode(const File& file, const FileStore::PublicShare& publicShareInfo,
    const FileStore::PrivateShares& privateShareInfos)
{
    FileWrapperItem record(file);
    record.setPublicShareInfo(publicShareInfo);
    record.setPrivateShareInfos(privateShareInfos);
    FileWrapper row;
    row.remoteFileID = *file.syncFileID().remoteID();
    row.fileData = record.data().vector();
    row.path = Platform::precomposed(record.path());
    return row;
}

std::vector<FileRef> readAll(Database& database)
{
    std::vector<FileRef> files;
    auto read = database.forEachObject<FileWrapper>(Platform::DatabaseQuery::all(), [&](const FileWrapper& row) {
        if (auto item = decode(row))
            files.push_back(std::move(item));
    });
    if (!read)
        logFailure(read.error());
    return files;
}

// Commits, or logs why not; a failed body is rolled back and logged the same way.
void finishWrite(Database& database, const std::expected<void, DatabaseError>& body)
{
    if (!body) {
        database.cancelWrite();
        logFailure(body.error());
        return;
    }
    if (auto committed = database.commitWrite(); !committed)
        logFailure(committed.error());
}

} // namespace

RealmFileStore::RealmFileStore(Platform::DatabaseFactory createRealm, Reactive::SchedulerPtr deliveryScheduler)
    : m_createRealm(std::move(createRealm))
    , m_deliveryScheduler(std::move(deliveryScheduler))
{
}

void RealmFileStore::clean()
{
    auto database = m_createRealm();
    if (!database)
        return logFailure(database.error());
    if (auto begun = database->beginWrite(); !begun)
        return logFailure(begun.error());
    auto removed = database->removeAll<FileWrapper>();
    finishWrite(*database, removed ? std::expected<void, DatabaseError>() : std::unexpected(removed.error()));
}

void RealmFileStore::add(const File& file)
{
    if (file.syncFileID().isLocal())
        return logLocalIDRefused(file);
    modifyOrCreate(file.syncFileID(), [&](FileRef& stored, PublicShare&, PrivateShares&) {
        stored = std::make_shared<FileWrapperItem>(file);
    });
}

FileRef RealmFileStore::file(const SyncFileID& id) const
{
    auto remoteID = id.remoteID();
    if (!remoteID)
        return nullptr;
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return nullptr;
    }
    auto row = database->object<FileWrapper>(*remoteID);
    if (!row) {
        logFailure(row.error());
        return nullptr;
    }
    return *row ? decode(**row) : nullptr;
}

void RealmFileStore::setFile(const SyncFileID& id, const FileRef& file)
{
    if (file)
        return add(*file);
    auto remoteID = id.remoteID();
    if (!remoteID)
        return;
    auto database = m_createRealm();
    if (!database)
        return logFailure(database.error());
    auto exists = database->exists<FileWrapper>(Platform::DatabaseQuery::equal("remoteFileID", *remoteID));
    if (!exists)
        return logFailure(exists.error());
    if (!*exists)
        return;
    if (auto begun = database->beginWrite(); !begun)
        return logFailure(begun.error());
    auto removed = database->remove<FileWrapper>(*remoteID);
    finishWrite(*database, removed ? std::expected<void, DatabaseError>() : std::unexpected(removed.error()));
}

FileRef RealmFileStore::fileAtPath(const std::string& path) const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return nullptr;
    }
    auto rows = database->objects<FileWrapper>(
        Platform::DatabaseQuery::equal("path", Platform::precomposed(path)), 1);
    if (!rows) {
        logFailure(rows.error());
        return nullptr;
    }
    return rows->empty() ? nullptr : decode(rows->front());
}

std::vector<FileRef> RealmFileStore::files() const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return {};
    }
    return readAll(*database);
}

void RealmFileStore::modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply)
{
    auto database = m_createRealm();
    if (!database)
        return logFailure(database.error());
    if (auto begun = database->beginWrite(); !begun)
        return logFailure(begun.error());

    std::optional<FileWrapper> existing;
    if (auto remoteID = id.remoteID()) {
        auto row = database->object<FileWrapper>(*remoteID);
        if (!row)
            return finishWrite(*database, std::unexpected(row.error()));
        existing = std::move(*row);
    }
    FileRef file;
    PublicShare publicShareInfo;
    PrivateShares privateShareInfos;
    if (existing) {
        if (auto item = decode(*existing)) {
            publicShareInfo = item->publicShareInfo();
            privateShareInfos = item->privateShareInfos();
            file = std::move(item);
        }
    }

    apply(file, publicShareInfo, privateShareInfos);

    std::expected<void, DatabaseError> written;
    if (file && file->syncFileID().isLocal()) {
        logLocalIDRefused(*file);
    } else if (file) {
        // Keyed by the file's own id, which `apply` may have changed.
        written = database->add(encode(*file, publicShareInfo, privateShareInfos));
    } else if (existing) {
        auto removed = database->remove<FileWrapper>(existing->remoteFileID);
        if (!removed)
            written = std::unexpected(removed.error());
    }
    // Committed also when nothing was written, as every caller expects one transaction.
    finishWrite(*database, written);
}

Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> RealmFileStore::filesProducer() const
{
    return databaseChangeProducer<std::vector<FileRef>>(m_createRealm, m_deliveryScheduler, true,
        [](Database& database) -> std::optional<std::vector<FileRef>> { return readAll(database); });
}

} // namespace Sync
