#include "Quarlink/Uploads/Upload.hpp"

#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/Foundation/Hashing.hpp"
#include "Quarlink/Files/URLContentProperties.hpp"

namespace Quarlink {

namespace {

Platform::Date dateFrom(Platform::FileTime time)
{
    return Platform::Date::fromNanosecondsSince1970(time.time_since_epoch().count());
}

} // namespace

std::string Upload::mimeTypeForFileAt(const Platform::URL& fileURL)
{
    return contentTypeOrDefault(fileURL);
}

std::expected<Upload, Platform::FileSystemError> Upload::create(std::int64_t folderID, const Platform::URL& fileURL)
{
    auto status = Platform::ItemStat::ofTarget(fileURL.path());
    if (!status)
        return std::unexpected(status.error());
    auto now = Platform::Date::now();

    // Read in blocks: memory stays flat however large the file is.
    auto fileHash = Platform::hashed(fileURL);
    return Upload {
        .fileURL = fileURL,
        .parentID = folderID,
        .fileName = fileURL.lastPathComponent(),
        .createdDate = status->creationTime ? dateFrom(*status->creationTime) : now,
        .lastModifiedDate = dateFrom(status->modificationTime),
        .mimeType = mimeTypeForFileAt(fileURL),
        .numberOfBytes = status->isDirectory() ? 0 : static_cast<std::int64_t>(status->size),
        .fileHash = fileHash.value_or(std::string()),
        .lastAttemptFailed = false,
    };
}

std::string Upload::requestHash() const
{
    return Platform::QVStringByApplyingSha1ToData(Platform::Data::fromString(std::to_string(parentID) + "/" + fileName + "/" + fileHash));
}

void Upload::encode(JSONObjectWriter& writer) const
{
    writer.encode("fileURL", fileURL);
    writer.encode("parentID", parentID);
    writer.encode("fileName", fileName);
    writer.encode("createdDate", createdDate);
    writer.encode("lastModifiedDate", lastModifiedDate);
    writer.encode("mimeType", mimeType);
    writer.encode("numberOfBytes", numberOfBytes);
    writer.encode("fileHash", fileHash);
    writer.encode("lastAttemptFailed", lastAttemptFailed);
}

std::expected<Upload, DecodingError> Upload::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    auto fileURL = object->decode<Platform::URL>("fileURL");
    if (!fileURL)
        return std::unexpected(fileURL.error());
    Upload upload { .fileURL = *fileURL, .parentID = 0, .fileName = {}, .createdDate = {}, .lastModifiedDate = {},
        .mimeType = {}, .numberOfBytes = 0, .fileHash = {}, .lastAttemptFailed = false };
    std::optional<DecodingError> error;
    bool complete = object->read("parentID", upload.parentID, error) && object->read("fileName", upload.fileName, error)
        && object->read("createdDate", upload.createdDate, error) && object->read("lastModifiedDate", upload.lastModifiedDate, error)
        && object->read("mimeType", upload.mimeType, error) && object->read("numberOfBytes", upload.numberOfBytes, error)
        && object->read("fileHash", upload.fileHash, error) && object->read("lastAttemptFailed", upload.lastAttemptFailed, error);
    if (!complete)
        return std::unexpected(std::move(*error));
    return upload;
}

} // namespace Quarlink
