#include "Orvella/Service/RemoteSyncFile.hpp"

#include <algorithm>
#include <cctype>

namespace Orvella {

namespace {

std::string enginePath(const Quarlink::File& remote, bool isFolder)
{
    std::string path = remote.path();
    if (!isFolder)
        return path;
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

} // namespace Orvella
