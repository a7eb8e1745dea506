#include "LocalCloud/Tree/FileTree.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>
#include <iostream>
#include <cstdio>

namespace LocalCloud {

namespace {

// The name a client announced when the service chose `name` in its place
// ("a (2).txt" for "a.txt"), if it is such a name.
std::optional<std::string> announcedName(const std::string& name)
{
    auto dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos)
        dot = name.size();
    std::string_view stem(name.data(), dot);
    if (!stem.ends_with(')'))
        return std::nullopt;
    auto open = stem.rfind(" (");
    if (open == std::string_view::npos || open == 0 || open + 3 > stem.size())
        return std::nullopt;
    auto digits = stem.substr(open + 2, stem.size() - open - 3);
    if (digits.empty() || digits.front() == '0'
        || !std::ranges::all_of(digits, [](char character) { return character >= '0' && character <= '9'; }))
        return std::nullopt;
    return std::string(stem.substr(0, open)) + name.substr(dot);
}

} // namespace

std::string requestHash(std::int64_t parentID, const std::string& name, const std::string& hash)
{
    return Platform::sha1Hex(std::to_string(parentID) + "/" + name + "/" + hash);
}

std::string FileTree::key(const std::string& name)
{
    return Platform::precomposed(name);
}

std::expected<std::unique_ptr<FileTree>, std::string> FileTree::open(const std::filesystem::path& dataFolder)
{
    auto database = Platform::Database::open(serviceDatabaseConfiguration(dataFolder));
    if (!database)
        return std::unexpected("cannot open the service database: " + database.error().message());
    std::unique_ptr<FileTree> tree(new FileTree(dataFolder / "content", std::move(*database)));
    if (auto loaded = tree->load(); !loaded)
        return std::unexpected(loaded.error());
    return tree;
}

FileTree::FileTree(std::filesystem::path contentFolder, Platform::Database database)
    : m_contents(std::move(contentFolder))
    , m_database(std::move(database))
    , m_random(std::random_device {}())
{
}

std::expected<void, std::string> FileTree::load()
{
    m_contents.removeTemporaries();
    std::vector<ItemRecord> records;
    auto read = m_database.forEachObject<ItemRecord>(Platform::DatabaseQuery::all(),
        [&](ItemRecord record) { records.push_back(std::move(record)); });
    if (!read)
        return std::unexpected("cannot read the trees: " + read.error().message());
    for (auto& record : records) {
        m_lastIdentifier = std::max(m_lastIdentifier, record.id);
        auto identifier = record.id;
        m_nodes[identifier].record = std::move(record);
    }
    // Parents first would need an order the table does not keep; attaching after all are loaded needs none.
    for (const auto& [identifier, node] : m_nodes)
        attach(node.record);
    finishStoredContents();
    checkStoredContents();
    auto counter = m_database.object<CounterRecord>(std::string("item"));
    if (!counter)
        return std::unexpected("cannot read the identifier counter: " + counter.error().message());
    if (*counter)
        m_lastIdentifier = std::max(m_lastIdentifier, (*counter)->value);
    return {};
}

std::filesystem::path FileTree::contentPath(std::int64_t identifier) const
{
    return m_contents.contentPath(identifier);
}

void FileTree::finishStoredContents()
{
    // New content that an earlier run had not yet put in place: it is the
    // file's when the database names it, and nobody's otherwise.
    m_contents.finishWaiting([this](std::int64_t identifier) -> std::optional<ContentFiles::Recorded> {
        auto node = m_nodes.find(identifier);
        if (node == m_nodes.end() || !node->second.record.listed() || node->second.record.folder())
            return std::nullopt;
        return ContentFiles::Recorded { node->second.record.size, node->second.record.hash };
    });
}

void FileTree::checkStoredContents()
{
    // Hashing is what finds a file of the right size that holds zeros; above
    // this size the start would take too long for it.
    constexpr std::int64_t hashLimit = 16 * 1024 * 1024;
    for (const auto& [identifier, node] : m_nodes) {
        if (!node.record.listed() || node.record.folder())
            continue;
        auto damage = m_contents.damage(identifier, { node.record.size, node.record.hash }, hashLimit);
        if (!damage)
            continue;
        std::cerr << "❗️ LocalCloud: file " << identifier << " of " << node.record.account << " is damaged: " << *damage
                  << "; its content is not served until it is uploaded again\n";
        m_damaged.emplace(identifier, std::move(*damage));
    }
}

std::filesystem::path FileTree::temporaryContentPath()
{
    std::lock_guard lock(m_mutex);
    return m_contents.temporaryPath(m_random());
}

std::optional<ServiceError> FileTree::nameProblem(const std::string& name)
{
    if (name.empty() || name == "." || name == ".." || name.size() > maximumNameBytes
        || !Platform::isValidUTF8(name))
        return ServiceErrors::invalidFileName();
    for (unsigned char character : name) {
        if (character < 0x20 || character == 0x7f || character == '/')
            return ServiceErrors::invalidFileName();
    }
    return std::nullopt;
}

// MARK: - Reading

std::expected<std::int64_t, ServiceError> FileTree::rootID(const std::string& account)
{
    if (auto found = m_roots.find(account); found != m_roots.end())
        return found->second;
    Change change;
    ItemRecord root;
    root.id = newIdentifier(change);
    root.account = account;
    root.isFolder = 1;
    root.mimeType = folderMimeType;
    root.created = root.modified = serviceNow();
    stamp(root);
    change.upserts[root.id] = root;
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return root.id;
}

FileTree::Node* FileTree::listedNode(const std::string& account, std::int64_t identifier)
{
    auto found = m_nodes.find(identifier);
    if (found == m_nodes.end() || found->second.record.account != account || !found->second.record.listed())
        return nullptr;
    return &found->second;
}

std::string FileTree::pathOf(std::int64_t identifier) const
{
    std::vector<const ItemRecord*> chain;
    for (auto current = identifier; current != 0;) {
        auto found = m_nodes.find(current);
        if (found == m_nodes.end())
            break;
        chain.push_back(&found->second.record);
        current = found->second.record.parentID;
    }
    std::string path = "/";
    // The last element is the root, which has no name of its own.
    for (auto element = chain.rbegin() + (chain.empty() ? 0 : 1); element != chain.rend(); ++element) {
        path += (*element)->name;
        if ((*element)->folder())
            path += '/';
    }
    return path;
}

std::int64_t FileTree::childNamed(std::int64_t folderID, const std::string& name) const
{
    auto folder = m_nodes.find(folderID);
    if (folder == m_nodes.end())
        return 0;
    auto child = folder->second.children.find(key(name));
    return child == folder->second.children.end() ? 0 : child->second;
}

std::expected<std::string, ServiceError> FileTree::freeName(std::int64_t folderID, const std::string& name,
    const std::string& hash, std::int64_t ownID) const
{
    // A leading dot starts a name, not an extension (".profile (1)").
    auto dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos)
        dot = name.size();
    auto stem = name.substr(0, dot);
    auto extension = name.substr(dot);
    for (std::int64_t number = 1;; ++number) {
        auto candidate = stem + " (" + std::to_string(number) + ")" + extension;
        if (auto problem = nameProblem(candidate))
            return std::unexpected(*problem);
        if (childNamed(folderID, candidate) != 0)
            continue;
        if (auto pending = m_pending.find({ folderID, key(candidate) });
            pending != m_pending.end() && pending->second != ownID
            && m_nodes.at(pending->second).record.hash != hash)
            continue;
        if (auto problem = placementProblem(folderID, candidate, 0))
            return std::unexpected(*problem);
        return candidate;
    }
}

std::size_t FileTree::bytesBelow(std::int64_t identifier) const
{
    const auto& node = m_nodes.at(identifier);
    if (!node.record.folder())
        return 0;
    std::size_t deepest = 0;
    for (const auto& [name, child] : node.children)
        deepest = std::max(deepest, m_nodes.at(child).record.name.size() + bytesBelow(child));
    return 1 + deepest;
}

std::optional<ServiceError> FileTree::placementProblem(std::int64_t folderID, const std::string& name,
    std::size_t belowBytes, std::int64_t movingID) const
{
    if (auto taken = childNamed(folderID, name); taken != 0 && taken != movingID)
        return m_nodes.at(taken).record.folder() ? ServiceErrors::folderExists() : ServiceErrors::fileExists();
    if (pathOf(folderID).size() + name.size() + belowBytes > maximumPathBytes)
        return ServiceErrors::pathTooLong();
    return std::nullopt;
}

bool FileTree::insidePrivatelySharedFolder(std::int64_t identifier) const
{
    for (auto current = m_nodes.at(identifier).record.parentID; current != 0;) {
        const auto& record = m_nodes.at(current).record;
        if (record.privateShares > 0)
            return true;
        current = record.parentID;
    }
    return false;
}

bool FileTree::holdsShare(std::int64_t folderID) const
{
    for (const auto& [name, child] : m_nodes.at(folderID).children) {
        const auto& record = m_nodes.at(child).record;
        if (record.shared || record.privateShares > 0 || (record.folder() && holdsShare(child)))
            return true;
    }
    return false;
}

bool FileTree::mayShare(const ItemRecord& record, bool publicLink) const
{
    auto override = publicLink ? record.allowPublic : record.allowPrivate;
    if (override >= 0)
        return override != 0;
    if (record.parentID == 0 || insidePrivatelySharedFolder(record.id))
        return false;
    // A privately shared folder may hold no share, so it cannot become one while it does.
    if (!publicLink && record.folder() && holdsShare(record.id))
        return false;
    // Private shares are for folders; a public link may point at anything but the root.
    return publicLink || record.folder();
}

FileView FileTree::view(std::int64_t identifier) const
{
    const auto& record = m_nodes.at(identifier).record;
    return { record, pathOf(identifier), mayShare(record, false), mayShare(record, true) };
}

void FileTree::walk(std::int64_t folderID, const std::string& folderPath,
    const std::function<bool(const ItemRecord&, const std::string&)>& visit) const
{
    for (const auto& [name, child] : m_nodes.at(folderID).children) {
        const auto& record = m_nodes.at(child).record;
        std::string path = folderPath + record.name;
        if (record.folder())
            path += '/';
        if (!visit(record, path))
            return;
        if (record.folder())
            walk(child, path, visit);
    }
}

std::expected<FileView, ServiceError> FileTree::root(const std::string& account)
{
    std::lock_guard lock(m_mutex);
    auto identifier = rootID(account);
    if (!identifier)
        return std::unexpected(identifier.error());
    return view(*identifier);
}

std::expected<FileView, ServiceError> FileTree::file(const std::string& account, std::int64_t identifier)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    return view(identifier);
}

std::expected<std::vector<FileView>, ServiceError> FileTree::children(const std::string& account,
    std::optional<std::int64_t> folderID, bool recursive)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto identifier = folderID.value_or(*root);
    auto* folder = listedNode(account, identifier);
    if (!folder)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (!folder->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    std::vector<FileView> views;
    walk(identifier, pathOf(identifier), [&](const ItemRecord& record, const std::string& path) {
        views.push_back({ record, path });
        return true;
    });
    if (!recursive) {
        std::erase_if(views, [&](const FileView& entry) { return entry.record.parentID != identifier; });
    }
    return views;
}

std::expected<std::vector<FileView>, ServiceError> FileTree::select(const std::string& account,
    const std::function<bool(const ItemRecord&)>& accept, std::optional<std::string> folderPath, std::size_t limit)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto folder = *root;
    if (folderPath && *folderPath != "/") {
        // "/a/b/" or "/a/b": each component a listed folder.
        std::size_t position = 0;
        const auto& text = *folderPath;
        while (position < text.size()) {
            if (text[position] == '/') {
                ++position;
                continue;
            }
            auto end = text.find('/', position);
            if (end == std::string::npos)
                end = text.size();
            auto child = childNamed(folder, text.substr(position, end - position));
            if (child == 0 || !m_nodes.at(child).record.folder())
                return std::unexpected(ServiceErrors::fileNotFound());
            folder = child;
            position = end;
        }
    }
    std::vector<FileView> views;
    if (limit == 0)
        return views;
    walk(folder, pathOf(folder), [&](const ItemRecord& record, const std::string& path) {
        if (accept(record))
            views.push_back({ record, path });
        return views.size() < limit;
    });
    return views;
}

std::int64_t FileTree::usedBytes(const std::string& account)
{
    std::lock_guard lock(m_mutex);
    auto found = m_used.find(account);
    return found == m_used.end() ? 0 : found->second;
}

std::int64_t FileTree::freeBytesFor(const std::string& account, std::int64_t identifier, std::int64_t totalBytes)
{
    std::lock_guard lock(m_mutex);
    auto used = m_used[account];
    if (auto* node = listedNode(account, identifier))
        used -= node->record.size;
    return totalBytes - used;
}

std::expected<std::pair<int, std::int64_t>, ServiceError> FileTree::openContent(const std::string& account,
    std::int64_t identifier)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (node->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    if (m_damaged.contains(identifier))
        return std::unexpected(ServiceErrors::contentDamaged());
    // Opened under the lock: a transfer that replaces the content later renames
    // a new file into place, so this descriptor keeps reading the whole old one.
    auto opened = m_contents.open(identifier);
    if (!opened)
        return std::unexpected(ServiceErrors::internal("The content of the file is missing"));
    return *opened;
}

// MARK: - Changing

ItemRecord& FileTree::working(Change& change, std::int64_t identifier) const
{
    auto found = change.upserts.find(identifier);
    if (found != change.upserts.end())
        return found->second;
    return change.upserts.emplace(identifier, m_nodes.at(identifier).record).first->second;
}

void FileTree::stamp(ItemRecord& record)
{
    char etag[17];
    std::snprintf(etag, sizeof etag, "%016llx", static_cast<unsigned long long>(m_random()));
    record.etag = etag;
    record.changed = serviceNow();
}

void FileTree::touchFolderChain(Change& change, std::int64_t folderID)
{
    // A walk up the parents, never a scan of the tree.
    for (auto current = folderID; current != 0 && m_nodes.contains(current);) {
        auto& record = working(change, current);
        stamp(record);
        current = record.parentID;
    }
}

std::int64_t FileTree::newIdentifier(Change& change)
{
    change.identifiersUsed = true;
    return ++m_lastIdentifier;
}

std::expected<void, ServiceError> FileTree::commit(Change change)
{
    auto written = m_database.write([&]() -> std::expected<void, Platform::DatabaseError> {
        for (const auto& identifier : change.removals) {
            if (auto removed = m_database.remove<ItemRecord>(identifier); !removed)
                return std::unexpected(removed.error());
        }
        for (const auto& [identifier, record] : change.upserts) {
            if (auto stored = m_database.add(record); !stored)
                return stored;
        }
        if (change.identifiersUsed)
            return m_database.add(CounterRecord { "item", m_lastIdentifier });
        return {};
    });
    if (!written)
        return std::unexpected(ServiceErrors::databaseFailure(written.error()));
    for (const auto& identifier : change.removals) {
        if (auto found = m_nodes.find(identifier); found != m_nodes.end()) {
            detach(found->second.record);
            m_nodes.erase(found);
        }
    }
    // Ascending identifiers: a folder made in this change is attached before what it holds.
    for (auto& [identifier, record] : change.upserts) {
        auto found = m_nodes.find(identifier);
        if (found != m_nodes.end()) {
            detach(found->second.record);
            found->second.record = std::move(record);
            attach(found->second.record);
        } else {
            auto& node = m_nodes[identifier];
            node.record = std::move(record);
            attach(node.record);
        }
    }
    return {};
}

void FileTree::attach(const ItemRecord& record)
{
    if (record.parentID == 0) {
        m_roots[record.account] = record.id;
        return;
    }
    if (!record.listed()) {
        m_pending[{ record.parentID, key(record.name) }] = record.id;
        return;
    }
    if (auto parent = m_nodes.find(record.parentID); parent != m_nodes.end())
        parent->second.children[key(record.name)] = record.id;
    if (!record.folder())
        m_used[record.account] += record.size;
}

void FileTree::detach(const ItemRecord& record)
{
    if (record.parentID == 0) {
        m_roots.erase(record.account);
        return;
    }
    if (!record.listed()) {
        auto found = m_pending.find({ record.parentID, key(record.name) });
        if (found != m_pending.end() && found->second == record.id)
            m_pending.erase(found);
        return;
    }
    if (auto parent = m_nodes.find(record.parentID); parent != m_nodes.end()) {
        auto child = parent->second.children.find(key(record.name));
        if (child != parent->second.children.end() && child->second == record.id)
            parent->second.children.erase(child);
    }
    if (!record.folder())
        m_used[record.account] -= record.size;
}

void FileTree::collect(std::int64_t identifier, std::vector<std::int64_t>& identifiers) const
{
    identifiers.push_back(identifier);
    const auto& node = m_nodes.at(identifier);
    if (!node.record.folder())
        return;
    for (const auto& [name, child] : node.children)
        collect(child, identifiers);
    for (auto pending = m_pending.lower_bound({ identifier, std::string() });
         pending != m_pending.end() && pending->first.first == identifier; ++pending)
        identifiers.push_back(pending->second);
}

std::expected<FileView, ServiceError> FileTree::createFolder(const std::string& account,
    std::optional<std::int64_t> parentID, const std::string& name)
{
    std::lock_guard lock(m_mutex);
    auto root = rootID(account);
    if (!root)
        return std::unexpected(root.error());
    auto* parent = listedNode(account, parentID.value_or(*root));
    if (!parent)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (!parent->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    if (auto problem = nameProblem(name))
        return std::unexpected(*problem);
    if (auto problem = placementProblem(parent->record.id, name, 1))
        return std::unexpected(*problem);
    Change change;
    ItemRecord folder;
    folder.id = newIdentifier(change);
    folder.account = account;
    folder.parentID = parent->record.id;
    folder.name = name;
    folder.isFolder = 1;
    folder.mimeType = folderMimeType;
    folder.created = folder.modified = serviceNow();
    stamp(folder);
    change.upserts[folder.id] = folder;
    touchFolderChain(change, folder.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(folder.id);
}

std::expected<FileView, ServiceError> FileTree::rename(const std::string& account, std::int64_t identifier,
    const std::string& newName)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (node->record.parentID == 0)
        return std::unexpected(ServiceErrors::notAllowed());
    if (auto problem = nameProblem(newName))
        return std::unexpected(*problem);
    if (node->record.name == newName)
        return view(identifier);
    auto parentID = node->record.parentID;
    if (auto problem = placementProblem(parentID, newName, bytesBelow(identifier), identifier))
        return std::unexpected(*problem);
    Change change;
    auto& record = working(change, identifier);
    record.name = newName;
    stamp(record);
    touchFolderChain(change, parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::expected<AnnouncementOutcome, ServiceError> FileTree::announce(const std::string& account,
    const Announcement& announcement, std::int64_t totalBytes)
{
    std::lock_guard lock(m_mutex);
    if (announcement.size < 0)
        return std::unexpected(ServiceErrors::invalidParameters());
    auto* parent = listedNode(account, announcement.parentID);
    if (!parent)
        return std::unexpected(ServiceErrors::fileNotFound());
    if (!parent->record.folder())
        return std::unexpected(ServiceErrors::notAllowed());
    if (auto problem = nameProblem(announcement.name))
        return std::unexpected(*problem);
    auto name = announcement.name;
    if (auto existing = childNamed(parent->record.id, announcement.name); existing != 0) {
        const auto& record = m_nodes.at(existing).record;
        if (record.folder())
            return std::unexpected(ServiceErrors::folderExists());
        // The same content under that name: nothing to send. Other content
        // never replaces a file (only a transfer to its identifier may): it is
        // kept beside it, under a name of the service's choosing.
        if (record.hash == announcement.hash)
            return AnnouncementOutcome { view(existing), false };
        auto free = freeName(parent->record.id, announcement.name, announcement.hash);
        if (!free)
            return std::unexpected(free.error());
        name = std::move(*free);
    }
    if (auto problem = placementProblem(parent->record.id, name, 0))
        return std::unexpected(*problem);
    if (announcement.size > totalBytes - m_used[account])
        return std::unexpected(ServiceErrors::storageFull());
    Change change;
    std::int64_t identifier = 0;
    // Only the same content announced again takes the earlier announcement's
    // identifier: other content there would let the earlier transfer, once it
    // arrives, overwrite what this one stores. The newer announcement takes the
    // name; the earlier one goes beside it when its content arrives.
    if (auto pending = m_pending.find({ parent->record.id, key(name) });
        pending != m_pending.end() && m_nodes.at(pending->second).record.hash == announcement.hash)
        identifier = pending->second;
    else
        identifier = newIdentifier(change);
    ItemRecord record;
    record.id = identifier;
    record.account = account;
    record.parentID = parent->record.id;
    record.name = name;
    record.state = 0;
    record.size = announcement.size;
    record.hash = announcement.hash;
    record.mimeType = announcement.mimeType.empty() ? "application/octet-stream" : announcement.mimeType;
    record.created = announcement.created;
    record.modified = announcement.modified;
    stamp(record);
    change.upserts[identifier] = record;
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return AnnouncementOutcome { view(identifier), true };
}

std::expected<FileView, ServiceError> FileTree::storeContent(const std::string& account, std::int64_t identifier,
    const ReceivedContent& content, std::int64_t totalBytes)
{
    std::lock_guard lock(m_mutex);
    auto refuse = [&](ServiceError error) -> std::expected<FileView, ServiceError> {
        std::error_code ignored;
        std::filesystem::remove(content.temporaryFile, ignored);
        return std::unexpected(std::move(error));
    };
    auto found = m_nodes.find(identifier);
    if (found == m_nodes.end() || found->second.record.account != account)
        return refuse(ServiceErrors::fileNotFound());
    const auto& current = found->second.record;
    if (current.folder())
        return refuse(ServiceErrors::notAllowed());
    auto used = m_used[account];
    std::optional<std::string> freeNameForContent;
    if (!current.listed()) {
        // The announcement promised this content: anything else is refused whole.
        // The client hashes the name it announced, which may not be the one the service chose.
        auto promised = [&](const std::string& name) {
            return *content.requestHash == requestHash(current.parentID, name, current.hash);
        };
        auto announced = announcedName(current.name);
        if (!content.requestHash || !(promised(current.name) || (announced && promised(*announced)))
            || content.sha1 != current.hash || content.size != current.size)
            return refuse(ServiceErrors::contentMismatch());
        if (!listedNode(account, current.parentID))
            return refuse(ServiceErrors::fileNotFound());
        // Another upload took the name meanwhile: this content goes beside it.
        if (auto taken = childNamed(current.parentID, current.name); taken != 0) {
            if (m_nodes.at(taken).record.folder())
                return refuse(ServiceErrors::folderExists());
            auto free = freeName(current.parentID, current.name, current.hash, identifier);
            if (!free)
                return refuse(free.error());
            freeNameForContent = std::move(*free);
        }
    } else {
        used -= current.size;
    }
    if (content.size > totalBytes - used)
        return refuse(ServiceErrors::storageFull());
    Change change;
    auto& record = working(change, identifier);
    if (record.listed()) {
        record.modified = serviceNow();
        if (content.contentType && !content.contentType->empty())
            record.mimeType = *content.contentType;
    }
    if (freeNameForContent)
        record.name = std::move(*freeNameForContent);
    record.state = 1;
    record.size = content.size;
    record.hash = content.sha1;
    stamp(record);
    touchFolderChain(change, record.parentID);
    // The new content takes a name of its own before the database names it,
    // and its final name only afterwards: wherever the process ends, the next
    // start finds the old content with the old record or the new with the new
    // (see `load`), and a failed commit leaves the old content as it was.
    if (auto error = m_contents.stage(content.temporaryFile, identifier))
        return refuse(ServiceErrors::internal("Cannot store the content: " + error.message()));
    if (auto committed = commit(std::move(change)); !committed) {
        m_contents.discardStaged(identifier);
        return std::unexpected(committed.error());
    }
    if (auto error = m_contents.placeStaged(identifier))
        return std::unexpected(ServiceErrors::internal("Cannot put the content in place: " + error.message()));
    m_damaged.erase(identifier);
    return view(identifier);
}

DeleteOutcome FileTree::remove(const std::string& account, const std::vector<std::int64_t>& identifiers)
{
    std::lock_guard lock(m_mutex);
    DeleteOutcome outcome;
    for (auto identifier : identifiers) {
        if (std::ranges::find(outcome.deleted, identifier) != outcome.deleted.end())
            continue;
        auto* node = listedNode(account, identifier);
        if (!node) {
            outcome.errors.push_back(ServiceErrors::fileNotFound());
            continue;
        }
        if (node->record.parentID == 0) {
            outcome.errors.push_back(ServiceErrors::notAllowed());
            continue;
        }
        Change change;
        collect(identifier, change.removals);
        touchFolderChain(change, node->record.parentID);
        std::vector<std::int64_t> contents;
        std::vector<FileView> removedViews;
        for (auto removed : change.removals) {
            const auto& record = m_nodes.at(removed).record;
            if (!record.folder())
                contents.push_back(removed);
            if (record.listed())
                removedViews.push_back(view(removed));
        }
        if (auto committed = commit(std::move(change)); !committed) {
            outcome.errors.push_back(committed.error());
            continue;
        }
        auto now = serviceNow();
        for (auto& removedView : removedViews)
            m_tombstones.push_back({ account, DeletedFile { std::move(removedView), now } });
        while (!m_tombstones.empty()
            && (m_tombstones.size() > maximumTombstones || m_tombstones.front().second.deleted < now - tombstoneSeconds))
            m_tombstones.pop_front();
        // The rows are gone for good; only now may their contents go.
        for (auto removed : contents)
            m_contents.remove(removed);
        outcome.deleted.push_back(identifier);
    }
    return outcome;
}

std::vector<DeletedFile> FileTree::deletedSince(const std::string& account, std::int64_t since)
{
    std::lock_guard lock(m_mutex);
    std::vector<DeletedFile> deleted;
    for (const auto& [owner, file] : m_tombstones) {
        if (owner == account && file.deleted >= since && file.deleted >= serviceNow() - tombstoneSeconds)
            deleted.push_back(file);
    }
    return deleted;
}

MoveOutcome FileTree::move(const std::string& account, const std::vector<std::int64_t>& identifiers,
    std::int64_t destinationID)
{
    std::lock_guard lock(m_mutex);
    MoveOutcome outcome;
    auto* destination = listedNode(account, destinationID);
    for (auto identifier : identifiers) {
        auto* node = listedNode(account, identifier);
        if (!destination || !destination->record.folder() || !node || node->record.parentID == 0) {
            outcome.failed.push_back(identifier);
            continue;
        }
        if (node->record.parentID == destinationID) {
            outcome.moved.push_back(view(identifier));
            continue;
        }
        // A folder never goes into itself or into anything below it.
        bool intoItself = false;
        for (auto current = destinationID; current != 0; current = m_nodes.at(current).record.parentID) {
            if (current == identifier) {
                intoItself = true;
                break;
            }
        }
        if (intoItself
            || placementProblem(destinationID, node->record.name, bytesBelow(identifier), identifier)) {
            outcome.failed.push_back(identifier);
            continue;
        }
        auto oldParent = node->record.parentID;
        Change change;
        auto& record = working(change, identifier);
        record.parentID = destinationID;
        stamp(record);
        touchFolderChain(change, oldParent);
        touchFolderChain(change, destinationID);
        if (!commit(std::move(change))) {
            outcome.failed.push_back(identifier);
            continue;
        }
        outcome.moved.push_back(view(identifier));
    }
    return outcome;
}

std::expected<FileView, ServiceError> FileTree::setShared(const std::string& account, std::int64_t identifier,
    bool shared)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return std::unexpected(ServiceErrors::fileNotFound());
    if ((node->record.shared != 0) == shared)
        return view(identifier);
    Change change;
    auto& record = working(change, identifier);
    record.shared = shared ? 1 : 0;
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::expected<FileView, ServiceError> FileTree::setShareState(const std::string& account, std::int64_t identifier,
    const ShareState& state)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    Change change;
    auto& record = working(change, identifier);
    record.shared = state.hasPublicLink ? 1 : 0;
    record.publicValidTo = state.publicValidTo;
    record.privateShares = state.privateShares;
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::expected<FileView, ServiceError> FileTree::setSharePermissions(const std::string& account,
    std::int64_t identifier, std::int64_t allowPrivate, std::int64_t allowPublic)
{
    std::lock_guard lock(m_mutex);
    if (!listedNode(account, identifier))
        return std::unexpected(ServiceErrors::fileNotFound());
    Change change;
    auto& record = working(change, identifier);
    record.allowPrivate = allowPrivate;
    record.allowPublic = allowPublic;
    // What the listing says of the item changed: the root etag must say so too.
    stamp(record);
    touchFolderChain(change, record.parentID);
    if (auto committed = commit(std::move(change)); !committed)
        return std::unexpected(committed.error());
    return view(identifier);
}

std::optional<ServiceError> FileTree::shareProblem(const std::string& account, std::int64_t identifier,
    bool publicLink)
{
    std::lock_guard lock(m_mutex);
    auto* node = listedNode(account, identifier);
    if (!node)
        return ServiceErrors::fileNotFound();
    if (mayShare(node->record, publicLink))
        return std::nullopt;
    if (node->record.parentID != 0
        && (insidePrivatelySharedFolder(identifier) || (!publicLink && node->record.folder() && holdsShare(identifier)))
        && (publicLink ? node->record.allowPublic : node->record.allowPrivate) < 0)
        return ServiceErrors::shareInsideSharedFolder();
    return ServiceErrors::notAllowed();
}

std::expected<void, ServiceError> FileTree::flush()
{
    std::lock_guard lock(m_mutex);
    if (auto checkpointed = m_database.execute("PRAGMA wal_checkpoint(TRUNCATE)"); !checkpointed)
        return std::unexpected(ServiceErrors::databaseFailure(checkpointed.error()));
    return {};
}

} // namespace LocalCloud
