#include "Orvella/Service/RemoteSyncFile.hpp"

#include <algorithm>
#include <cctype>

namespace Orvella {

namespace {

// The folder's path with exactly one trailing "/", when the remote one has not.
std::optional<std::string> enginePath(const Quarlink::File& remote, bool isFolder)
{
    const auto& given = remote.path();
    if (!isFolder || (given.size() > 1 && given.ends_with('/') && !given.ends_with("//")))
        return std::nullopt;
    std::string path = given;
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    if (!path.ends_with('/'))
        path += '/';
    return path;
}

std::string lowerCase(std::string text)
{
    std::ranges::transform(text, text.begin(), [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
    return text;
}

} // namespace

RemoteSyncFile::RemoteSyncFile(Quarlink::File remote)
    : m_remote(std::move(remote))
    , m_fileID(Sync::SyncFileID::remote(m_remote.fileID()))
    , m_parentID(Sync::SyncFileID::remote(m_remote.parentID()))
    , m_type(m_remote.mimeType())
    , m_etag(m_remote.etag())
    , m_fileHash(lowerCase(m_remote.fileHash()))
{
    m_path = enginePath(m_remote, m_type.isFolder());
}

Sync::FileRef RemoteSyncFile::make(Quarlink::File remote)
{
    return std::make_shared<RemoteSyncFile>(std::move(remote));
}

std::vector<Sync::FileRef> RemoteSyncFile::make(const std::vector<Quarlink::File>& remotes)
{
    std::vector<Sync::FileRef> files;
    files.reserve(remotes.size());
    for (const auto& remote : remotes)
        files.push_back(make(remote));
    return files;
}

std::vector<Sync::FileRef> RemoteSyncFile::make(std::vector<Quarlink::File>&& remotes)
{
    std::vector<Sync::FileRef> files;
    files.reserve(remotes.size());
    for (auto& remote : remotes)
        files.push_back(make(std::move(remote)));
    std::vector<Quarlink::File>().swap(remotes);
    return files;
}

} // namespace Orvella
