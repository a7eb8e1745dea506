#include "Sync/Changes/ServerEdits.hpp"

#include "Sync/Model/FileWrapperItem.hpp"

#include <cstdio>
#include <ctime>
#include <unordered_map>

namespace Sync {

namespace {

// Longest name the disk takes, in bytes.
constexpr std::size_t longestName = 255;
constexpr std::string_view marker = " (Konflikt ";

bool knownHash(std::string_view hash)
{
    return !hash.empty() && hash != FileWrapperItem::missingFileHashKey;
}

// Whether the server's content differs from what the record knew of it; a
// record without a hash knows the date only.
bool serverContentChanged(const File& record, const File& listed)
{
    if (!knownHash(record.fileHash()))
        return record.lastModifiedDate().wholeSecondsSince1970() != listed.lastModifiedDate().wholeSecondsSince1970();
    return record.fileHash() != listed.fileHash();
}

// The name split where its extension begins (the dot included in the extension).
std::pair<std::string_view, std::string_view> stemAndExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == name.size())
        return { name, {} };
    return { name.substr(0, dot), name.substr(dot) };
}

// `text` cut to at most `bytes` bytes, never inside a UTF-8 sequence.
std::string_view cutAt(std::string_view text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    auto end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

bool isContentUpdate(const Change& change)
{
    if (change.kind() != Change::Kind::Remote)
        return false;
    const auto& operation = *change.fileOperation();
    return operation.kind() == FileOperation::Kind::Update && !isFolder(*operation.file())
        && operation.file()->syncFileID().isRemote();
}

bool holdsContentUpdate(const std::vector<Change>& changes)
{
    for (const auto& change : changes)
        if (isContentUpdate(change))
            return true;
    return false;
}

std::vector<ServerEdit> serverEditsBefore(const std::vector<Change>& changes, const std::vector<FileRef>& listing,
    const std::vector<FileRef>& stored)
{
    std::unordered_map<std::int64_t, const FileRef*> updated;
    for (const auto& change : changes)
        if (isContentUpdate(change))
            updated.emplace(*change.fileOperation()->file()->syncFileID().remoteID(), nullptr);
    if (updated.empty())
        return {};
    std::unordered_map<std::int64_t, const FileRef*> records;
    for (const auto& record : stored)
        if (auto id = record->syncFileID().remoteID(); id && updated.contains(*id))
            records.emplace(*id, &record);
    for (const auto& listed : listing)
        if (auto id = listed->syncFileID().remoteID(); id)
            if (auto found = updated.find(*id); found != updated.end() && !found->second)
                found->second = &listed;
    std::vector<ServerEdit> edits;
    for (const auto& change : changes) {
        if (!isContentUpdate(change))
            continue;
        const auto& local = *change.fileOperation()->file();
        const auto id = *local.syncFileID().remoteID();
        const auto* listed = updated.at(id);
        const auto record = records.find(id);
        // Gone on the server, or a folder there now: the upload fails and
        // nothing of the server's is replaced.
        if (!listed || isFolder(**listed) || record == records.end())
            continue;
        // Already the local content (an upload answered but not recorded).
        if (knownHash(local.fileHash()) && local.fileHash() == (*listed)->fileHash())
            continue;
        if (serverContentChanged(**record->second, **listed))
            edits.push_back({ change, *listed });
    }
    return edits;
}

std::string conflictName(std::string_view fileName, Platform::Date when, int number)
{
    const auto [stem, extension] = stemAndExtension(fileName);
    const std::time_t seconds = when.wholeSecondsSince1970();
    std::tm local {};
    ::localtime_r(&seconds, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d.%02d", local.tm_year + 1900, local.tm_mon + 1,
        local.tm_mday, local.tm_hour, local.tm_min);
    std::string tail = std::string(marker) + stamp + ")";
    if (number > 1)
        tail += " (" + std::to_string(number) + ")";
    tail += extension;
    const auto room = longestName > tail.size() ? longestName - tail.size() : 0;
    return std::string(cutAt(stem, room)) + tail;
}

bool isConflictNameOf(std::string_view candidate, std::string_view fileName)
{
    const auto [stem, extension] = stemAndExtension(fileName);
    if (!candidate.ends_with(extension))
        return false;
    candidate.remove_suffix(extension.size());
    const auto at = candidate.find(marker);
    return at != std::string_view::npos && stem.starts_with(candidate.substr(0, at)) && candidate.ends_with(')');
}

} // namespace Sync
