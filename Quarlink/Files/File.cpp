#include "Quarlink/Files/File.hpp"

#include "Platform/Foundation/DocumentTypes.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Quarlink/Files/DownloadFolderConfig.hpp"
#include "Quarlink/Files/URLContentProperties.hpp"

#include <string_view>

namespace Quarlink {

// The storage every copy of a File shares until one of them is changed.
class File::Reference final {
public:
    explicit Reference(Fields fields)
        : fields(std::move(fields))
    {
    }
    Fields fields;
};

namespace {

using Key = File::CodingKeys;
using KeyCase = FileKeyTable::Case;

constexpr std::string_view key(KeyCase keyCase)
{
    return Key(keyCase).stringValue();
}

bool optionalDatesEqual(const std::optional<Platform::Date>& left, const std::optional<Platform::Date>& right)
{
    return left.has_value() == right.has_value() && (!left || *left == *right);
}

} // namespace

File::File(Fields fields)
{
    if (fields.mimeType.empty())
        fields.mimeType = defaultMimeType;
    m_reference = std::make_shared<Reference>(std::move(fields));
}

std::expected<File, DecodingError> File::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());

    Fields fields;
    std::optional<DecodingError> error;
    std::optional<Platform::Date> exifCreated;
    bool complete = object->read(key(KeyCase::fileID), fields.fileID, error)
        && object->read(key(KeyCase::parentID), fields.parentID, error)
        && object->read(key(KeyCase::path), fields.path, error)
        && object->read(key(KeyCase::fileName), fields.fileName, error)
        && object->read(key(KeyCase::hasPrivateShares), fields.hasPrivateShares, error)
        && object->read(key(KeyCase::hasPublicShare), fields.hasPublicShare, error)
        && object->read(key(KeyCase::isPrivatelySharable), fields.isPrivatelySharable, error)
        && object->read(key(KeyCase::isPubliclySharable), fields.isPubliclySharable, error)
        && object->readIfPresent(key(KeyCase::publicShareExpirationDate), fields.publicShareExpirationDate, error)
        && object->read(key(KeyCase::numberOfPrivateShares), fields.numberOfPrivateShares, error)
        && object->readIfPresent(key(KeyCase::exifCreatedDate), exifCreated, error);
    if (complete) {
        if (exifCreated)
            fields.createdDate = *exifCreated;
        else
            complete = object->read(key(KeyCase::createdDate), fields.createdDate, error);
    }
    complete = complete && object->read(key(KeyCase::lastModifiedDate), fields.lastModifiedDate, error)
        && object->read(key(KeyCase::mimeType), fields.mimeType, error)
        && object->read(key(KeyCase::numberOfBytes), fields.numberOfBytes, error)
        && object->read(key(KeyCase::fileHash), fields.fileHash, error);
    if (!complete)
        return std::unexpected(std::move(*error));

    // The service marks a deleted item with the time of deletion; anything but
    // a number there means "not deleted", never a broken answer.
    auto deleted = object->member(key(KeyCase::isDeleted));
    fields.isDeleted = deleted && deleted->json().is_number();

    if (!object->read(key(KeyCase::etag), fields.etag, error))
        return std::unexpected(std::move(*error));
    return File(std::move(fields));
}

File::Fields& File::mutableFields()
{
    // A count of one means no other value can reach the storage; the fence
    // orders this write after the last reads of values that let go of it.
    if (m_reference.use_count() != 1) {
        m_reference = std::make_shared<Reference>(m_reference->fields);
        return m_reference->fields;
    }
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not model fences and warns about each one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wtsan"
#endif
    __atomic_thread_fence(__ATOMIC_ACQUIRE);
#if defined(__SANITIZE_THREAD__)
#pragma GCC diagnostic pop
#endif
    return m_reference->fields;
}

const File::Fields& File::fields() const { return m_reference->fields; }

std::int64_t File::fileID() const { return fields().fileID; }
std::int64_t File::parentID() const { return fields().parentID; }
const std::string& File::path() const { return fields().path; }
const std::string& File::fileName() const { return fields().fileName; }
bool File::isFavorite() const { return fields().isFavorite; }
bool File::hasReminder() const { return fields().hasReminder; }
bool File::hasPrivateShares() const { return fields().hasPrivateShares; }
bool File::hasPublicShare() const { return fields().hasPublicShare; }
bool File::isPrivatelySharable() const { return fields().isPrivatelySharable; }
bool File::isPubliclySharable() const { return fields().isPubliclySharable; }
const std::optional<Platform::Date>& File::publicShareExpirationDate() const { return fields().publicShareExpirationDate; }
std::int64_t File::numberOfPrivateShares() const { return fields().numberOfPrivateShares; }
Platform::Date File::createdDate() const { return fields().createdDate; }
Platform::Date File::lastModifiedDate() const { return fields().lastModifiedDate; }
const std::string& File::mimeType() const { return fields().mimeType; }
std::int64_t File::numberOfBytes() const { return fields().numberOfBytes; }
const std::string& File::fileHash() const { return fields().fileHash; }
bool File::isDeleted() const { return fields().isDeleted; }
const std::optional<FileUserInfo>& File::userInfo() const { return fields().userInfo; }
const std::string& File::etag() const { return fields().etag; }

void File::setFileID(std::int64_t value) { mutableFields().fileID = value; }
void File::setParentID(std::int64_t value) { mutableFields().parentID = value; }
void File::setPath(std::string value) { mutableFields().path = std::move(value); }
void File::setFileName(std::string value) { mutableFields().fileName = std::move(value); }
void File::setIsFavorite(bool value) { mutableFields().isFavorite = value; }
void File::setHasReminder(bool value) { mutableFields().hasReminder = value; }
void File::setHasPrivateShares(bool value) { mutableFields().hasPrivateShares = value; }
void File::setHasPublicShare(bool value) { mutableFields().hasPublicShare = value; }
void File::setIsPrivatelySharable(bool value) { mutableFields().isPrivatelySharable = value; }
void File::setIsPubliclySharable(bool value) { mutableFields().isPubliclySharable = value; }
void File::setPublicShareExpirationDate(std::optional<Platform::Date> value) { mutableFields().publicShareExpirationDate = value; }
void File::setNumberOfPrivateShares(std::int64_t value) { mutableFields().numberOfPrivateShares = value; }
void File::setCreatedDate(Platform::Date value) { mutableFields().createdDate = value; }
void File::setLastModifiedDate(Platform::Date value) { mutableFields().lastModifiedDate = value; }
void File::setMimeType(std::string value) { mutableFields().mimeType = std::move(value); }
void File::setNumberOfBytes(std::int64_t value) { mutableFields().numberOfBytes = value; }
void File::setFileHash(std::string value) { mutableFields().fileHash = std::move(value); }
void File::setIsDeleted(bool value) { mutableFields().isDeleted = value; }
void File::setUserInfo(std::optional<FileUserInfo> value) { mutableFields().userInfo = std::move(value); }
void File::setEtag(std::string value) { mutableFields().etag = std::move(value); }

void File::modify(const std::function<void(Fields&)>& change)
{
    change(mutableFields());
}

bool File::isFolder() const { return mimeType() == folderMimeType; }
bool File::isImage() const { return mimeType().starts_with("image"); }
bool File::isPhoto() const { return isImage(); }
bool File::isMusic() const { return mimeType().starts_with("audio"); }
bool File::isDocument() const { return Platform::isDocumentMimeType(mimeType()); }

std::string File::initial() const
{
    const auto& name = fileName();
    // Most names start with two ASCII characters: then the first one decides alone.
    if (name.size() >= 1 && static_cast<unsigned char>(name[0]) < 0x80
        && (name.size() == 1 || static_cast<unsigned char>(name[1]) < 0x80)) {
        char first = name[0];
        if (first >= 'a' && first <= 'z')
            first = static_cast<char>(first - 'a' + 'A');
        return first >= 'A' && first <= 'Z' ? std::string(1, first) : std::string("#");
    }
    auto upper = Platform::uppercased(name);
    auto first = Platform::firstCharacter(upper);
    if (first.size() == 1 && first[0] >= 'A' && first[0] <= 'Z')
        return std::string(first);
    return "#";
}

std::string File::parentFolderPath() const
{
    return Platform::deletingLastPathComponent(path());
}

std::string File::debugDescription() const
{
    return "File(fileID: " + std::to_string(fileID()) + ", name: " + fileName() + ", type: " + mimeType() + ")";
}

Platform::URL downloadDestinationURL(const Platform::URL& folder, std::int64_t fileID, std::string_view fileName)
{
    return folder.appendingPathComponent(std::to_string(fileID)).appendingPathComponent(fileName);
}

Platform::URL File::downloadDestinationURL(const Platform::URL& folder) const
{
    return Quarlink::downloadDestinationURL(folder, fileID(), fileName());
}

Platform::URL File::downloadDestinationURLWithConfig(const DownloadFolderConfig& config) const
{
    return downloadDestinationURL(isFavorite() ? config.favoritesFolderURL() : config.defaultFolderURL());
}

bool File::isFileHashUpToDate(const std::optional<std::string>& hash) const
{
    if (fileHash().empty())
        return true;
    return hash && *hash == fileHash();
}

bool File::isDownloadedFileUpToDate(const Platform::URL& url, const std::optional<std::string>& hash) const
{
    if (!isReachable(url))
        return false;
    if (isFavorite())
        return true;
    return isFileHashUpToDate(hash);
}

bool operator==(const File& left, const File& right)
{
    if (left.m_reference == right.m_reference)
        return true;
    const auto& a = left.fields();
    const auto& b = right.fields();
    return a.fileID == b.fileID && a.parentID == b.parentID && Platform::canonicallyEqual(a.path, b.path)
        && a.isFavorite == b.isFavorite && a.hasPrivateShares == b.hasPrivateShares
        && a.hasPublicShare == b.hasPublicShare && a.isPrivatelySharable == b.isPrivatelySharable
        && a.isPubliclySharable == b.isPubliclySharable
        && optionalDatesEqual(a.publicShareExpirationDate, b.publicShareExpirationDate)
        && a.createdDate == b.createdDate && a.lastModifiedDate == b.lastModifiedDate
        && Platform::canonicallyEqual(a.mimeType, b.mimeType) && a.numberOfBytes == b.numberOfBytes
        && Platform::canonicallyEqual(a.fileHash, b.fileHash) && Platform::canonicallyEqual(a.etag, b.etag);
}

} // namespace Quarlink
