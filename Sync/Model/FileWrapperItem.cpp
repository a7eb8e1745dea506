#include "Sync/Model/FileWrapperItem.hpp"

#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

namespace Sync {

namespace {

ArchiveValue identifier(const SyncFileID& id)
{
    auto remote = id.remoteID();
    return remote ? ArchiveValue(*remote) : ArchiveValue(nullptr);
}

const std::string* text(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto value = find(dictionary, key);
    return value ? value->text() : nullptr;
}

std::optional<std::int64_t> integer(const ArchiveDictionary& dictionary, std::string_view key)
{
    auto value = find(dictionary, key);
    return value ? value->integer() : std::nullopt;
}

// Decodes the first element of "shareInfos"; reports whether the list had one.
FileWrapperItem::PublicShare readPublicShare(const ArchiveDictionary& dictionary, bool& listHadElement)
{
    listHadElement = false;
    auto value = find(dictionary, "shareInfos");
    auto list = value ? value->array() : nullptr;
    if (!list || list->empty())
        return nullptr;
    // Only a list whose elements are all dictionaries is a list of dictionaries.
    for (const auto& element : *list)
        if (!element.dictionary())
            return nullptr;
    listHadElement = true;
    auto info = PublicShareInfoItem::create(*list->front().dictionary());
    return info ? std::make_shared<const PublicShareInfoItem>(std::move(*info)) : nullptr;
}

FileWrapperItem::PrivateShares readPrivateShares(const ArchiveDictionary& dictionary)
{
    FileWrapperItem::PrivateShares shares;
    auto value = find(dictionary, "privateSharesInfos");
    auto list = value ? value->array() : nullptr;
    if (!list)
        return shares;
    for (const auto& element : *list)
        if (!element.dictionary())
            return shares;
    for (const auto& element : *list)
        if (auto info = PrivateShareInfoItem::create(*element.dictionary()))
            shares.push_back(std::make_shared<const PrivateShareInfoItem>(std::move(*info)));
    return shares;
}

} // namespace

FileWrapperItem::FileWrapperItem(Fields fields)
    : m_syncFileID(std::move(fields.syncFileID))
    , m_path(std::move(fields.path))
    , m_fileName(std::move(fields.fileName))
    , m_syncParentID(std::move(fields.syncParentID))
    , m_lastModifiedDate(fields.lastModifiedDate)
    , m_type(std::move(fields.type))
    , m_syncEtag(std::move(fields.syncEtag))
    , m_hasPublicShare(fields.hasPublicShare)
    , m_publicShareInfo(std::move(fields.publicShareInfo))
    , m_hasPrivateShares(fields.hasPrivateShares)
    , m_privateShareInfos(std::move(fields.privateShareInfos))
    , m_fileHash(std::move(fields.fileHash))
{
    normalisePath();
}

FileWrapperItem::FileWrapperItem(const File& file)
    : m_syncFileID(file.syncFileID())
    , m_path(file.path())
    , m_fileName(file.fileName())
    , m_syncParentID(file.syncParentID())
    , m_lastModifiedDate(file.lastModifiedDate())
    , m_type(file.type())
    , m_syncEtag(file.syncEtag())
    , m_hasPublicShare(file.hasPublicShare())
    , m_hasPrivateShares(file.hasPrivateShares())
    , m_fileHash(file.fileHash())
{
    normalisePath();
}

void FileWrapperItem::normalisePath()
{
    if (m_type.isFolder() && !m_path.ends_with('/'))
        m_path.push_back('/');
}

void FileWrapperItem::setPath(std::string path)
{
    m_path = std::move(path);
    normalisePath();
}

void FileWrapperItem::modifyPath(const std::function<void(std::string&)>& change)
{
    change(m_path);
    normalisePath();
}

ArchiveDictionary FileWrapperItem::dictionary() const
{
    ArchiveArray shareInfos;
    if (m_publicShareInfo)
        shareInfos.emplace_back(Sync::dictionary(*m_publicShareInfo));
    ArchiveArray privateShareInfos;
    for (const auto& info : m_privateShareInfos)
        privateShareInfos.emplace_back(Sync::dictionary(*info));

    return ArchiveDictionary {
        { "name", m_fileName },
        { "path", m_path },
        { "mimeType", m_type.mimeType() },
        { "parentFileId", identifier(m_syncParentID) },
        { "hasPublicShare", m_hasPublicShare },
        { "shareInfos", std::move(shareInfos) },
        { "hasPrivateShares", m_hasPrivateShares },
        { "privateSharesInfos", std::move(privateShareInfos) },
        { "mtime", m_lastModifiedDate.wholeSecondsSince1970() },
        { "fileId", identifier(m_syncFileID) },
        { "etag", m_syncEtag ? ArchiveValue(*m_syncEtag) : ArchiveValue(nullptr) },
        { "fileHash", m_fileHash },
    };
}

std::shared_ptr<FileWrapperItem> FileWrapperItem::create(const ArchiveDictionary& dictionary)
{
    auto name = text(dictionary, "name");
    auto path = text(dictionary, "path");
    auto mimeType = text(dictionary, "mimeType");
    auto parentFileID = integer(dictionary, "parentFileId");
    auto mtime = integer(dictionary, "mtime");
    auto fileID = integer(dictionary, "fileId");
    if (!name || !path || !mimeType || !parentFileID || !mtime || !fileID)
        return nullptr;

    auto etag = text(dictionary, "etag");
    bool publicListHadElement = false;
    auto publicShare = readPublicShare(dictionary, publicListHadElement);
    auto privateShares = readPrivateShares(dictionary);
    auto hasPublicValue = find(dictionary, "hasPublicShare");
    auto hasPublic = hasPublicValue ? hasPublicValue->boolean() : std::nullopt;
    auto hasPrivateValue = find(dictionary, "hasPrivateShares");
    auto hasPrivate = hasPrivateValue ? hasPrivateValue->boolean() : std::nullopt;
    auto fileHash = text(dictionary, "fileHash");

    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = SyncFileID::remote(*fileID),
        .path = *path,
        .fileName = *name,
        .syncParentID = SyncFileID::remote(*parentFileID),
        .hasPublicShare = hasPublic.value_or(publicListHadElement),
        .publicShareInfo = std::move(publicShare),
        .hasPrivateShares = hasPrivate.value_or(!privateShares.empty()),
        .privateShareInfos = std::move(privateShares),
        .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(*mtime),
        .syncEtag = etag ? std::optional<std::string>(*etag) : std::nullopt,
        .type = FileType(*mimeType),
        .fileHash = fileHash ? *fileHash : std::string(missingFileHashKey)
    });
}

std::shared_ptr<FileWrapperItem> FileWrapperItem::create(const Platform::Data& data)
{
    return unarchived<FileWrapperItem>(data);
}

} // namespace Sync
