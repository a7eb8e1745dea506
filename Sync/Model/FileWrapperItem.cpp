#include "Sync/Model/FileWrapperItem.hpp"

#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

#include <algorithm>
#include <type_traits>

namespace Sync {

namespace {

ArchiveValue identifier(const SyncFileID& id)
{
    auto remote = id.remoteID();
    return remote ? ArchiveValue(*remote) : ArchiveValue(nullptr);
}

// Decodes the first element of "shareInfos"; reports whether the list had one.
FileWrapperItem::PublicShare readPublicShare(const ArchiveValue* value, bool& listHadElement)
{
    listHadElement = false;
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

FileWrapperItem::PrivateShares readPrivateShares(const ArchiveValue* value)
{
    FileWrapperItem::PrivateShares shares;
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

// A record from its values, whatever holds them: `find(key)` answers the
// value under a key or nullptr. Texts are moved out when `find` answers
// values that may be changed (the caller's own, about to go), else copied.
template<class Find>
std::shared_ptr<FileWrapperItem> record(Find&& find)
{
    auto text = [&](std::string_view key) { auto value = find(key); return value ? value->text() : nullptr; };
    auto integer = [&](std::string_view key) {
        auto value = find(key);
        return value ? value->integer() : std::nullopt;
    };
    auto taken = [&](std::string_view key) -> std::optional<std::string> {
        auto value = find(key);
        if constexpr (std::is_const_v<std::remove_pointer_t<decltype(value)>>) {
            auto found = value ? value->text() : nullptr;
            return found ? std::optional<std::string>(*found) : std::nullopt;
        } else {
            auto found = value ? value->mutableText() : nullptr;
            return found ? std::optional<std::string>(std::move(*found)) : std::nullopt;
        }
    };
    auto parentFileID = integer("parentFileId");
    auto mtime = integer("mtime");
    auto fileID = integer("fileId");
    if (!text("name") || !text("path") || !text("mimeType") || !parentFileID || !mtime || !fileID)
        return nullptr;

    bool publicListHadElement = false;
    auto publicShare = readPublicShare(find("shareInfos"), publicListHadElement);
    auto privateShares = readPrivateShares(find("privateSharesInfos"));
    auto hasPublicValue = find("hasPublicShare");
    auto hasPublic = hasPublicValue ? hasPublicValue->boolean() : std::nullopt;
    auto hasPrivateValue = find("hasPrivateShares");
    auto hasPrivate = hasPrivateValue ? hasPrivateValue->boolean() : std::nullopt;
    auto fileHash = taken("fileHash");

    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = SyncFileID::remote(*fileID),
        .path = *taken("path"),
        .fileName = *taken("name"),
        .syncParentID = SyncFileID::remote(*parentFileID),
        .hasPublicShare = hasPublic.value_or(publicListHadElement),
        .publicShareInfo = std::move(publicShare),
        .hasPrivateShares = hasPrivate.value_or(!privateShares.empty()),
        .privateShareInfos = std::move(privateShares),
        .lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(*mtime),
        .syncEtag = taken("etag"),
        .type = FileType(*taken("mimeType")),
        .fileHash = fileHash ? std::move(*fileHash) : std::string(FileWrapperItem::missingFileHashKey)
    });
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
    , m_fileHash(fields.fileHash)
    , m_hasPublicShare(fields.hasPublicShare)
    , m_hasPrivateShares(fields.hasPrivateShares)
{
    if (fields.publicShareInfo || !fields.privateShareInfos.empty())
        m_shareDetails = std::make_unique<ShareDetails>(
            ShareDetails { std::move(fields.publicShareInfo), std::move(fields.privateShareInfos) });
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
    , m_fileHash(file.fileHash())
    , m_hasPublicShare(file.hasPublicShare())
    , m_hasPrivateShares(file.hasPrivateShares())
{
    normalisePath();
}

const FileWrapperItem::PublicShare& FileWrapperItem::publicShareInfo() const
{
    static const PublicShare none;
    return m_shareDetails ? m_shareDetails->publicShareInfo : none;
}

const FileWrapperItem::PrivateShares& FileWrapperItem::privateShareInfos() const
{
    static const PrivateShares none;
    return m_shareDetails ? m_shareDetails->privateShareInfos : none;
}

FileWrapperItem::ShareDetails& FileWrapperItem::shareDetails()
{
    if (!m_shareDetails)
        m_shareDetails = std::make_unique<ShareDetails>();
    return *m_shareDetails;
}

void FileWrapperItem::setPublicShareInfo(PublicShare info)
{
    if (info || m_shareDetails)
        shareDetails().publicShareInfo = std::move(info);
}

void FileWrapperItem::setPrivateShareInfos(PrivateShares infos)
{
    if (!infos.empty() || m_shareDetails)
        shareDetails().privateShareInfos = std::move(infos);
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
    if (publicShareInfo())
        shareInfos.emplace_back(Sync::dictionary(*publicShareInfo()));
    ArchiveArray privateShareInfos;
    for (const auto& info : this->privateShareInfos())
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
        { "fileHash", std::string(m_fileHash.view()) },
    };
}

std::shared_ptr<FileWrapperItem> FileWrapperItem::create(const ArchiveDictionary& dictionary)
{
    return record([&](std::string_view key) { return Sync::find(dictionary, key); });
}

std::shared_ptr<FileWrapperItem> FileWrapperItem::create(std::string_view archive)
{
    // The usual record is read member by member, without a dictionary.
    if (auto members = KeyedArchive::plainMembers(archive)) {
        return record([&](std::string_view key) -> ArchiveValue* {
            auto found = std::ranges::find(*members, key, &KeyedArchive::Member::first);
            return found == members->end() ? nullptr : &found->second;
        });
    }
    auto dictionary = KeyedArchive::unarchivedDictionary(archive);
    return dictionary ? create(*dictionary) : nullptr;
}

std::shared_ptr<FileWrapperItem> FileWrapperItem::create(const Platform::Data& data)
{
    return unarchived<FileWrapperItem>(data);
}

} // namespace Sync
