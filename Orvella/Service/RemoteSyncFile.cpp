#include "Orvella/Service/RemoteSyncFile.hpp"

#include <algorithm>
#include <cctype>

namespace Orvella {

namespace {

// A folder's path with exactly one trailing "/", whatever the service sent.
std::string enginePath(std::string path, bool isFolder)
{
    if (!isFolder || (path.size() > 1 && path.ends_with('/') && !path.ends_with("//")))
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

// The remote value's texts, taken over when no other value shares its storage, else copied.
Quarlink::File::Fields takenFields(Quarlink::File&& remote)
{
    Quarlink::File::Fields fields;
    remote.modify([&](Quarlink::File::Fields& held) { fields = std::move(held); });
    return fields;
}

} // namespace

RemoteSyncFile::RemoteSyncFile(Quarlink::File remote)
    : RemoteSyncFile(takenFields(std::move(remote)))
{
}

RemoteSyncFile::RemoteSyncFile(Quarlink::File::Fields remote)
    : m_fileID(Sync::SyncFileID::remote(remote.fileID))
    , m_parentID(Sync::SyncFileID::remote(remote.parentID))
    , m_fileName(std::move(remote.fileName))
    , m_lastModifiedDate(remote.lastModifiedDate)
    , m_type(remote.mimeType)
    , m_etag(std::move(remote.etag))
    , m_fileHash(lowerCase(std::move(remote.fileHash)))
    , m_hasPublicShare(remote.hasPublicShare)
    , m_hasPrivateShares(remote.hasPrivateShares)
{
    m_path = enginePath(std::move(remote.path), m_type.isFolder());
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
