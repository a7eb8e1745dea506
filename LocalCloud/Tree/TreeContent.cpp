// File contents: an upload announced, its content checked against the
// announcement and put in place durably, and stored content opened for reading.

#include "LocalCloud/Tree/FileTree.hpp"

#include "Platform/Foundation/Digest.hpp"

#include <algorithm>
#include <filesystem>

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

std::int64_t FileTree::freeBytesFor(const std::string& account, std::int64_t identifier, std::int64_t totalBytes)
{
    std::lock_guard lock(m_mutex);
    auto used = m_used[account];
    if (auto* node = listedNode(account, identifier))
        used -= node->record.size;
    return totalBytes - used;
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
        record.modified = m_clock.seconds();
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

} // namespace LocalCloud
