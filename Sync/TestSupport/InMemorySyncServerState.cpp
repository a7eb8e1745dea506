#include "Sync/TestSupport/InMemorySyncServer.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include "Platform/Foundation/Base64.hpp"
#include "Platform/Foundation/Data.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

// The server double's tree and the controls the tests use.
namespace Sync::Testing {

using Reactive::AnyError;
using Reactive::Result;

namespace {

std::vector<std::string> componentsOf(const std::string& path)
{
    auto components = Platform::PathResolver::components(path);
    return components ? *components : std::vector<std::string>();
}

} // namespace

std::string InMemorySyncServer::pathOf(const Item& item) const
{
    if (item.id == rootID) {
        return "/";
    }
    std::vector<const std::string*> names;
    for (const Item* current = &item; current->id != rootID; current = &m_items.at(current->parentID)) {
        names.push_back(&current->name);
    }
    std::string path;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        path += '/';
        path += **name;
    }
    if (item.folder) {
        path += '/';
    }
    return path;
}

InMemorySyncServer::Item* InMemorySyncServer::find(std::int64_t id)
{
    auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : &found->second;
}

InMemorySyncServer::Item* InMemorySyncServer::child(std::int64_t parentID, const std::string& name)
{
    auto children = m_children.find(parentID);
    if (children == m_children.end()) {
        return nullptr;
    }
    auto found = children->second.find(Platform::precomposed(name));
    return found == children->second.end() ? nullptr : find(found->second);
}

InMemorySyncServer::Item* InMemorySyncServer::findPath(const std::string& path)
{
    Item* current = find(rootID);
    for (const auto& name : componentsOf(path)) {
        current = current ? child(current->id, name) : nullptr;
    }
    return current;
}

std::shared_ptr<RemoteFile> InMemorySyncServer::answer(const Item& item) const
{
    RemoteFile::Fields fields;
    fields.id = item.id;
    fields.parentID = item.parentID;
    fields.path = pathOf(item);
    fields.fileName = item.name;
    fields.lastModifiedDate = item.modified;
    fields.type = FileType(item.mimeType);
    fields.etag = item.etag;
    // A link past its expiry is listed as none, and nothing else changes with it (no etag).
    fields.hasPublicShare = item.publicShare != nullptr && isValid(*item.publicShare);
    fields.hasPrivateShares = !item.privateShares.empty();
    fields.fileHash = item.hash;
    return std::make_shared<RemoteFile>(std::move(fields));
}

std::int64_t InMemorySyncServer::insert(Item item)
{
    item.id = m_nextID++;
    item.etag = nextEtag();
    m_children[item.parentID][Platform::precomposed(item.name)] = item.id;
    const auto id = item.id;
    m_items.emplace(id, std::move(item));
    return id;
}

void InMemorySyncServer::erase(std::int64_t id)
{
    auto children = m_children.find(id);
    if (children != m_children.end()) {
        auto ids = children->second;
        for (const auto& [name, childID] : ids) {
            erase(childID);
        }
        m_children.erase(id);
    }
    auto* item = find(id);
    m_children[item->parentID].erase(Platform::precomposed(item->name));
    m_items.erase(id);
}

void InMemorySyncServer::reparent(Item& item, std::int64_t parentID, std::string name)
{
    m_children[item.parentID].erase(Platform::precomposed(item.name));
    item.parentID = parentID;
    item.name = std::move(name);
    item.etag = nextEtag();
    m_children[parentID][Platform::precomposed(item.name)] = item.id;
}

std::string InMemorySyncServer::nextEtag()
{
    ++m_version;
    m_items.at(rootID).etag = "etag-" + std::to_string(m_version);
    return "etag-" + std::to_string(m_version);
}

std::int64_t InMemorySyncServer::ensureFolder(const std::string& path)
{
    std::int64_t current = rootID;
    for (const auto& name : componentsOf(path)) {
        if (auto* existing = child(current, name)) {
            current = existing->id;
            continue;
        }
        Item folder;
        folder.parentID = current;
        folder.name = Platform::precomposed(name);
        folder.folder = true;
        folder.mimeType = std::string(FileType::folderMimeType);
        folder.modified = Platform::Date::fromWholeSecondsSince1970(1'760'000'000 + m_nextID);
        current = insert(std::move(folder));
    }
    return current;
}

Result<InMemorySyncServer::Item*, AnyError> InMemorySyncServer::requireItem(const File& file)
{
    auto id = file.syncFileID().remoteID();
    if (!id) {
        return std::unexpected(AnyError(ServerError { "no remote id for " + file.path() }));
    }
    auto* item = find(*id);
    if (!item || *id == rootID) {
        return std::unexpected(AnyError(ServerError { "no such item: " + file.path() }));
    }
    return item;
}

std::int64_t InMemorySyncServer::addFolder(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    return ensureFolder(path);
}

std::int64_t InMemorySyncServer::addFile(const std::string& path, const std::string& content,
    std::optional<Platform::Date> modified)
{
    std::lock_guard lock(m_mutex);
    auto components = componentsOf(path);
    if (components.empty()) {
        return -1;
    }
    auto folderPath = path.substr(0, path.rfind('/') + 1);
    Item item;
    item.parentID = ensureFolder(folderPath);
    item.name = Platform::precomposed(components.back());
    if (child(item.parentID, item.name)) {
        return -1;
    }
    item.mimeType = "text/plain";
    item.content = content;
    item.hash = Platform::sha1Hex(content);
    item.modified = modified ? Platform::Date::fromWholeSecondsSince1970(modified->wholeSecondsSince1970())
                             : Platform::Date::fromWholeSecondsSince1970(1'760'000'000 + m_nextID);
    return insert(std::move(item));
}

std::int64_t InMemorySyncServer::setContent(const std::string& path, const std::string& content,
    std::optional<Platform::Date> modified)
{
    std::lock_guard lock(m_mutex);
    auto* item = findPath(path);
    if (!item || item->folder) {
        return -1;
    }
    item->content = content;
    item->hash = Platform::sha1Hex(content);
    item->modified = modified ? Platform::Date::fromWholeSecondsSince1970(modified->wholeSecondsSince1970())
                              : Platform::Date::fromWholeSecondsSince1970(item->modified.wholeSecondsSince1970() + 60);
    item->etag = nextEtag();
    return item->id;
}

bool InMemorySyncServer::removeItem(const std::string& path)
{
    std::lock_guard lock(m_mutex);
    auto* item = findPath(path);
    if (!item || item->id == rootID) {
        return false;
    }
    erase(item->id);
    nextEtag();
    return true;
}

bool InMemorySyncServer::moveItem(const std::string& path, const std::string& newPath)
{
    std::lock_guard lock(m_mutex);
    auto* item = findPath(path);
    auto components = componentsOf(newPath);
    if (!item || item->id == rootID || components.empty()) {
        return false;
    }
    std::string trimmed = newPath;
    while (trimmed.size() > 1 && trimmed.ends_with('/')) {
        trimmed.pop_back();
    }
    auto parentID = ensureFolder(trimmed.substr(0, trimmed.rfind('/') + 1));
    if (child(parentID, components.back())) {
        return false;
    }
    reparent(*item, parentID, Platform::precomposed(components.back()));
    return true;
}

bool InMemorySyncServer::setShares(const std::string& path, PublicShare publicShare, PrivateShares privateShares)
{
    std::lock_guard lock(m_mutex);
    auto* item = findPath(path);
    if (!item) {
        return false;
    }
    item->publicShare = std::move(publicShare);
    item->privateShares = std::move(privateShares);
    item->etag = nextEtag();
    return true;
}

std::optional<std::int64_t> InMemorySyncServer::idAt(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    auto* item = const_cast<InMemorySyncServer*>(this)->findPath(path);
    return item ? std::optional(item->id) : std::nullopt;
}

std::optional<std::string> InMemorySyncServer::contentAt(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    auto* item = const_cast<InMemorySyncServer*>(this)->findPath(path);
    return item && !item->folder ? std::optional(item->content) : std::nullopt;
}

std::shared_ptr<RemoteFile> InMemorySyncServer::fileAt(const std::string& path) const
{
    std::lock_guard lock(m_mutex);
    auto* item = const_cast<InMemorySyncServer*>(this)->findPath(path);
    return item && item->id != rootID ? answer(*item) : nullptr;
}

std::vector<std::string> InMemorySyncServer::paths() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> paths;
    for (const auto& [id, item] : m_items) {
        if (id != rootID) {
            paths.push_back(pathOf(item));
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string InMemorySyncServer::rootEtag() const
{
    std::lock_guard lock(m_mutex);
    return m_items.at(rootID).etag;
}

void InMemorySyncServer::addListingEntry(FileRef file)
{
    std::lock_guard lock(m_mutex);
    m_extraEntries.push_back(std::move(file));
    // The listing changed, so the root etag says so, as any server's would.
    nextEtag();
}

void InMemorySyncServer::hideFromListings(const std::string& path, int count)
{
    std::lock_guard lock(m_mutex);
    m_hidden.emplace_back(Platform::precomposed(path), count);
}

void InMemorySyncServer::setUploadsBesideTakenNames(bool beside)
{
    std::lock_guard lock(m_mutex);
    m_uploadsBesideTakenNames = beside;
}

void InMemorySyncServer::failNext(Call call, int count, std::optional<std::string> path)
{
    std::lock_guard lock(m_mutex);
    m_failures.push_back({ call, count, std::move(path) });
}

void InMemorySyncServer::failAlways(Call call)
{
    std::lock_guard lock(m_mutex);
    m_failures.push_back({ call, -1, std::nullopt });
}

void InMemorySyncServer::clearFailures()
{
    std::lock_guard lock(m_mutex);
    m_failures.clear();
}

int InMemorySyncServer::callCount(Call call) const
{
    std::lock_guard lock(m_mutex);
    return m_calls[static_cast<std::size_t>(call)];
}

int InMemorySyncServer::mutationCount() const
{
    using enum Call;
    int count = 0;
    for (auto call : { upload, reupload, createFolder, deleteItem, rename, move }) {
        count += callCount(call);
    }
    return count;
}

void InMemorySyncServer::resetCounts()
{
    std::lock_guard lock(m_mutex);
    m_calls.fill(0);
}

void InMemorySyncServer::setDeliveryScheduler(Reactive::SchedulerPtr scheduler)
{
    std::lock_guard lock(m_mutex);
    m_delivery = std::move(scheduler);
}

void InMemorySyncServer::setStepHook(std::function<void(std::string_view)> hook)
{
    std::lock_guard lock(m_mutex);
    m_stepHook = std::move(hook);
}

void InMemorySyncServer::step(std::string_view name) const
{
    std::function<void(std::string_view)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_stepHook;
    }
    if (hook) {
        hook(name);
    }
}

void InMemorySyncServer::persistTo(std::string file)
{
    {
        std::lock_guard lock(m_mutex);
        m_persistentFile = std::move(file);
    }
    persist();
}

void InMemorySyncServer::persist() const
{
    std::lock_guard lock(m_mutex);
    if (m_persistentFile.empty()) {
        return;
    }
    nlohmann::json items = nlohmann::json::array();
    for (const auto& [id, item] : m_items) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(item.content.data());
        items.push_back({ { "id", item.id }, { "parentID", item.parentID }, { "name", item.name },
            { "folder", item.folder }, { "mimeType", item.mimeType },
            { "content", Platform::base64Encoded(std::span(bytes, item.content.size())) }, { "hash", item.hash },
            { "modified", item.modified.nanosecondsSince1970() }, { "etag", item.etag } });
    }
    nlohmann::json state { { "nextID", m_nextID }, { "version", m_version }, { "items", std::move(items) } };
    const auto temporary = m_persistentFile + ".new";
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        stream << state.dump();
    }
    std::rename(temporary.c_str(), m_persistentFile.c_str());
}

std::shared_ptr<InMemorySyncServer> InMemorySyncServer::load(const std::string& file)
{
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return nullptr;
    }
    auto state = nlohmann::json::parse(stream, nullptr, false);
    if (state.is_discarded()) {
        return nullptr;
    }
    auto server = std::make_shared<InMemorySyncServer>();
    std::lock_guard lock(server->m_mutex);
    server->m_items.clear();
    server->m_children.clear();
    server->m_nextID = state.at("nextID").get<std::int64_t>();
    server->m_version = state.at("version").get<std::int64_t>();
    for (const auto& entry : state.at("items")) {
        Item item;
        item.id = entry.at("id").get<std::int64_t>();
        item.parentID = entry.at("parentID").get<std::int64_t>();
        item.name = entry.at("name").get<std::string>();
        item.folder = entry.at("folder").get<bool>();
        item.mimeType = entry.at("mimeType").get<std::string>();
        if (auto content = Platform::base64Decoded(entry.at("content").get<std::string>())) {
            item.content.assign(content->bytes().begin(), content->bytes().end());
        }
        item.hash = entry.at("hash").get<std::string>();
        item.modified = Platform::Date::fromNanosecondsSince1970(entry.at("modified").get<std::int64_t>());
        item.etag = entry.at("etag").get<std::string>();
        if (item.id != rootID) {
            server->m_children[item.parentID][Platform::precomposed(item.name)] = item.id;
        }
        server->m_items.emplace(item.id, std::move(item));
    }
    return server;
}

} // namespace Sync::Testing
