#include "Sync/Store/RealmFileStore.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Store/DatabaseChangeProducer.hpp"
#include "Sync/Store/FileWrapper.hpp"
#include "Sync/Store/StoreWrite.hpp"

#include <nlohmann/json.hpp>

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
    auto item = FileWrapperItem::create(
        std::string_view(reinterpret_cast<const char*>(row.fileData.data()), row.fileData.size()));
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

std::expected<std::vector<FileRef>, DatabaseError> readAll(Database& database)
{
    std::vector<FileRef> files;
    auto read = database.forEachObject<FileWrapper>(Platform::DatabaseQuery::all(), [&](const FileWrapper& row) {
        if (!FileWrapper::isRecordKey(row.remoteFileID))
            return;
        if (auto item = decode(row))
            files.push_back(std::move(item));
    });
    database.releaseCachedPages();
    if (!read)
        return std::unexpected(read.error());
    // A run keeps the list through both phases: not with the room its growth left.
    files.shrink_to_fit();
    return files;
}

template<class Result>
std::expected<void, DatabaseError> asVoid(const std::expected<Result, DatabaseError>& result)
{
    if (!result)
        return std::unexpected(result.error());
    return {};
}

// The body of `modifyOrCreate`, inside a write transaction of `database`.
std::expected<void, DatabaseError> modifyIn(Database& database, const SyncFileID& id,
    const FileStore::ModifyOrCreate& apply)
{
    std::optional<FileWrapper> existing;
    if (auto remoteID = id.remoteID(); remoteID && FileWrapper::isRecordKey(*remoteID)) {
        auto row = database.object<FileWrapper>(*remoteID);
        if (!row)
            return std::unexpected(row.error());
        existing = std::move(*row);
    }
    FileRef file;
    FileStore::PublicShare publicShareInfo;
    FileStore::PrivateShares privateShareInfos;
    if (existing) {
        if (auto item = decode(*existing)) {
            publicShareInfo = item->publicShareInfo();
            privateShareInfos = item->privateShareInfos();
            file = std::move(item);
        }
    }

    apply(file, publicShareInfo, privateShareInfos);

    if (file && (file->syncFileID().isLocal() || !FileWrapper::isRecordKey(*file->syncFileID().remoteID()))) {
        logLocalIDRefused(*file);
        return {};
    }
    if (file) // Keyed by the file's own id, which `apply` may have changed.
        return database.add(encode(*file, publicShareInfo, privateShareInfos));
    if (existing)
        return asVoid(database.remove<FileWrapper>(existing->remoteFileID));
    return {};
}

} // namespace

RealmFileStore::RealmFileStore(Platform::DatabaseFactory createRealm, Reactive::SchedulerPtr deliveryScheduler)
    : m_createRealm(std::move(createRealm))
    , m_deliveryScheduler(std::move(deliveryScheduler))
{
}

StoreResult<> RealmFileStore::clean()
{
    return storeWrite(m_createRealm, [](Database& database) { return asVoid(database.removeAll<FileWrapper>()); });
}

StoreResult<> RealmFileStore::add(const File& file)
{
    if (file.syncFileID().isLocal()) {
        logLocalIDRefused(file);
        return {};
    }
    return modifyOrCreate(file.syncFileID(), [&](FileRef& stored, PublicShare&, PrivateShares&) {
        stored = std::make_shared<FileWrapperItem>(file);
    });
}

std::optional<std::string> RealmFileStore::listingEtag() const
{
    auto bytes = storedData(FileWrapper::listingEtagKey);
    if (!bytes)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

StoreResult<> RealmFileStore::setListingEtag(const std::optional<std::string>& etag)
{
    if (listingEtag() == etag)
        return {};
    return storeWrite(m_createRealm, [&](Database& database) -> std::expected<void, DatabaseError> {
        if (!etag)
            return asVoid(database.remove<FileWrapper>(FileWrapper::listingEtagKey));
        FileWrapper row;
        row.remoteFileID = FileWrapper::listingEtagKey;
        row.fileData = Platform::DatabaseBlob(etag->begin(), etag->end());
        return asVoid(database.add(row));
    });
}

namespace {

// The text of a JSON array of the intents, written one intent at a time: a
// whole tree of them would take several times the text, and a first sync up
// lists every file of the folder here.
Platform::DatabaseBlob intentsText(const std::vector<UploadIntent>& intents)
{
    Platform::DatabaseBlob text;
    text.push_back('[');
    for (const auto& intent : intents) {
        if (text.size() > 1)
            text.push_back(',');
        const nlohmann::json entry { { "fileID", intent.fileID ? nlohmann::json(*intent.fileID) : nlohmann::json(nullptr) },
            { "parentID", intent.parentID }, { "name", intent.name }, { "hash", intent.fileHash } };
        // Names are NFC text from the disk, but not necessarily valid UTF-8: replaced, never refused.
        const auto written = entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        text.insert(text.end(), written.begin(), written.end());
    }
    text.push_back(']');
    return text;
}

} // namespace

std::vector<UploadIntent> RealmFileStore::uploadIntents() const
{
    auto bytes = storedData(FileWrapper::uploadIntentsKey);
    if (!bytes)
        return {};
    auto parsed = nlohmann::json::parse(bytes->begin(), bytes->end(), nullptr, false);
    std::vector<UploadIntent> intents;
    if (!parsed.is_array()) {
        Platform::Log::failure("The stored upload intents do not read: forgotten");
        return intents;
    }
    for (const auto& entry : parsed) {
        if (!entry.is_object())
            continue;
        const auto fileID = entry.find("fileID");
        const auto parentID = entry.find("parentID");
        const auto name = entry.find("name");
        const auto hash = entry.find("hash");
        if (fileID == entry.end() || parentID == entry.end() || name == entry.end() || hash == entry.end()
            || !(fileID->is_null() || fileID->is_number_integer()) || !parentID->is_number_integer()
            || !name->is_string() || !hash->is_string())
            continue;
        UploadIntent intent;
        if (fileID->is_number_integer())
            intent.fileID = fileID->get<std::int64_t>();
        intent.parentID = parentID->get<std::int64_t>();
        intent.name = name->get<std::string>();
        intent.fileHash = hash->get<std::string>();
        intents.push_back(std::move(intent));
    }
    return intents;
}

StoreResult<> RealmFileStore::setUploadIntents(const std::vector<UploadIntent>& intents)
{
    // Compared as stored text, never decoded: at the end of a first sync up
    // the stored list names every file of the folder, and a tree of it takes
    // several times its text. Our own text of an equal list is the same bytes.
    std::optional<Platform::DatabaseBlob> text;
    if (intents.empty()) {
        if (!isStored(FileWrapper::uploadIntentsKey))
            return {};
    } else if (text = intentsText(intents); storedData(FileWrapper::uploadIntentsKey) == text) {
        return {};
    }
    return storeWrite(m_createRealm, [&](Database& database) -> std::expected<void, DatabaseError> {
        if (!text)
            return asVoid(database.remove<FileWrapper>(FileWrapper::uploadIntentsKey));
        FileWrapper row;
        row.remoteFileID = FileWrapper::uploadIntentsKey;
        row.fileData = std::move(*text);
        return asVoid(database.add(row));
    });
}

std::optional<Platform::DatabaseBlob> RealmFileStore::storedData(std::int64_t key) const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return std::nullopt;
    }
    auto row = database->object<FileWrapper>(key);
    if (!row) {
        logFailure(row.error());
        return std::nullopt;
    }
    if (!*row)
        return std::nullopt;
    return std::move((*row)->fileData);
}

bool RealmFileStore::isStored(std::int64_t key) const
{
    auto database = m_createRealm();
    if (!database) {
        logFailure(database.error());
        return false;
    }
    auto present = database->exists<FileWrapper>(
        Platform::DatabaseQuery::equal(std::string(Platform::DatabaseObjectAccess::primaryKeyName<FileWrapper>()), key));
    if (!present) {
        logFailure(present.error());
        return false;
    }
    return *present;
}

FileRef RealmFileStore::file(const SyncFileID& id) const
{
    auto remoteID = id.remoteID();
    if (!remoteID || !FileWrapper::isRecordKey(*remoteID))
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

StoreResult<> RealmFileStore::setFile(const SyncFileID& id, const FileRef& file)
{
    if (file)
        return add(*file);
    auto remoteID = id.remoteID();
    if (!remoteID || !FileWrapper::isRecordKey(*remoteID))
        return {};
    auto database = m_createRealm();
    if (!database)
        return std::unexpected(storeFailure(nullptr, std::move(database.error())));
    // Removing nothing commits nothing, so no observer reads the state again for it.
    auto exists = database->exists<FileWrapper>(Platform::DatabaseQuery::equal("remoteFileID", *remoteID));
    if (!exists)
        return std::unexpected(storeFailure(&*database, std::move(exists.error())));
    if (!*exists)
        return {};
    return storeWrite(*database, [&] { return asVoid(database->remove<FileWrapper>(*remoteID)); });
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
    return rows->empty() || !FileWrapper::isRecordKey(rows->front().remoteFileID) ? nullptr : decode(rows->front());
}

StoreResult<std::vector<FileRef>> RealmFileStore::loadFiles() const
{
    auto database = m_createRealm();
    if (!database)
        return std::unexpected(storeFailure(nullptr, std::move(database.error())));
    auto files = readAll(*database);
    if (!files)
        return std::unexpected(storeFailure(&*database, std::move(files.error())));
    return std::move(*files);
}

StoreResult<> RealmFileStore::modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply)
{
    // Committed also when nothing was written, as every caller expects one transaction.
    return storeWrite(m_createRealm, [&](Database& database) { return modifyIn(database, id, apply); });
}

StoredRowsWrite RealmFileStore::storedRowsWrite(const StoredChange& change) const
{
    return [record = change.record, removed = change.removedRecord](
               Database& database) -> std::expected<void, DatabaseError> {
        if (record) {
            if (record->syncFileID().isLocal()) {
                logLocalIDRefused(*record);
                return {};
            }
            return modifyIn(database, record->syncFileID(),
                [&](FileRef& stored, PublicShare&, PrivateShares&) { stored = std::make_shared<FileWrapperItem>(*record); });
        }
        if (auto remoteID = removed ? removed->remoteID() : std::nullopt; remoteID && FileWrapper::isRecordKey(*remoteID))
            return asVoid(database.remove<FileWrapper>(*remoteID));
        return {};
    };
}

Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> RealmFileStore::filesProducer() const
{
    return databaseChangeProducer<std::vector<FileRef>>(m_createRealm, m_deliveryScheduler, true,
        [](Database& database) -> std::optional<std::vector<FileRef>> {
            auto files = readAll(database);
            if (!files) {
                logFailure(files.error());
                return std::vector<FileRef>();
            }
            return std::move(*files);
        });
}

} // namespace Sync
