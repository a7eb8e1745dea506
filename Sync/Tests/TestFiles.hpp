#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <ostream>

#include <memory>
#include <string>

namespace Sync::Testing {

inline const std::string defaultHash = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";

// A plain-file record; the name is the last path component.
std::shared_ptr<FileWrapperItem> makeFile(SyncFileID id, std::string path, SyncFileID parent,
    std::string hash = defaultHash, double seconds = 1000);
// A folder record; its path gains the trailing "/".
std::shared_ptr<FileWrapperItem> makeFolder(SyncFileID id, std::string path, SyncFileID parent);

// A file of another concrete type, as the application's server records are.
class ServerFile final : public File {
public:
    ServerFile(const File& file);

    const SyncFileID& syncFileID() const override { return m_syncFileID; }
    const std::string& path() const override { return m_path; }
    const std::string& fileName() const override { return m_fileName; }
    const SyncFileID& syncParentID() const override { return m_syncParentID; }
    Platform::Date lastModifiedDate() const override { return m_date; }
    const FileType& type() const override { return m_type; }
    const std::optional<std::string>& syncEtag() const override { return m_etag; }
    bool hasPublicShare() const override { return m_hasPublicShare; }
    bool hasPrivateShares() const override { return m_hasPrivateShares; }
    std::string_view fileHash() const override { return m_fileHash; }
    std::string description() const override { return "ServerFile(" + m_path + ")"; }

    SyncFileID m_syncFileID;
    std::string m_path;
    std::string m_fileName;
    SyncFileID m_syncParentID;
    Platform::Date m_date;
    FileType m_type;
    std::optional<std::string> m_etag;
    bool m_hasPublicShare;
    bool m_hasPrivateShares;
    std::string m_fileHash;
};

std::shared_ptr<ServerFile> makeServerFile(const File& file);

} // namespace Sync::Testing

namespace Sync {

// Lets GoogleTest print changes by their description.
inline void PrintTo(const Change& change, std::ostream* stream)
{
    *stream << change.description();
}

} // namespace Sync
