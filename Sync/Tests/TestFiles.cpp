#include "TestFiles.hpp"

#include "Platform/Foundation/PathString.hpp"

namespace Sync::Testing {

std::shared_ptr<FileWrapperItem> makeFile(SyncFileID id, std::string path, SyncFileID parent, std::string hash,
    double seconds)
{
    auto name = Platform::lastPathComponent(path);
    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = std::move(id),
        .path = std::move(path),
        .fileName = std::move(name),
        .syncParentID = std::move(parent),
        .lastModifiedDate = Platform::Date::fromSecondsSince1970(seconds),
        .type = FileType::file("text/plain"),
        .fileHash = std::move(hash)
    });
}

std::shared_ptr<FileWrapperItem> makeFolder(SyncFileID id, std::string path, SyncFileID parent)
{
    auto name = Platform::lastPathComponent(path);
    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = std::move(id),
        .path = std::move(path),
        .fileName = std::move(name),
        .syncParentID = std::move(parent),
        .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(1000),
        .type = FileType::folder(),
        .fileHash = ""
    });
}

ServerFile::ServerFile(const File& file)
    : m_syncFileID(file.syncFileID())
    , m_path(file.path())
    , m_fileName(file.fileName())
    , m_syncParentID(file.syncParentID())
    , m_date(file.lastModifiedDate())
    , m_type(file.type())
    , m_etag(file.syncEtag())
    , m_hasPublicShare(file.hasPublicShare())
    , m_hasPrivateShares(file.hasPrivateShares())
    , m_fileHash(file.fileHash())
{
}

std::shared_ptr<ServerFile> makeServerFile(const File& file)
{
    return std::make_shared<ServerFile>(file);
}

} // namespace Sync::Testing
