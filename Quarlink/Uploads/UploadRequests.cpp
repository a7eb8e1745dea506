#include "Quarlink/Uploads/UploadRequests.hpp"

#include "Quarlink/Coding/JSONDecoder.hpp"

namespace Quarlink {

std::expected<UploadInitResponse, DecodingError> UploadInitResponse::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    bool shouldUpload = object->contains("upload");
    auto file = object->decode<File>("data");
    if (!file)
        return std::unexpected(file.error());
    return UploadInitResponse { shouldUpload, std::move(*file) };
}

const Upload* UploadInitResult::record() const
{
    const auto* transfer = std::get_if<Transfer>(&m_outcome);
    return transfer ? &transfer->record : nullptr;
}

const File* UploadInitResult::existingFile() const
{
    return std::get_if<File>(&m_outcome);
}

std::int64_t UploadInitResult::fileID() const
{
    if (const auto* transfer = std::get_if<Transfer>(&m_outcome))
        return transfer->fileID;
    return std::get<File>(m_outcome).fileID();
}

void FileUploadInitRequest::Payload::encode(JSONObjectWriter& writer) const
{
    writer.encode("parentFileID", parentFileID);
    writer.encode("name", name);
    writer.encode("mimeType", mimeType);
    writer.encode("created", created);
    writer.encode("modified", modified);
    writer.encode("hash", hash);
    writer.encode("fileSize", fileSize);
}

FileUploadInitRequest::FileUploadInitRequest(Upload upload)
    : m_upload(std::move(upload))
    , m_payload { m_upload.parentID, m_upload.fileName, m_upload.mimeType, m_upload.createdDate.wholeSecondsSince1970(),
        m_upload.lastModifiedDate.wholeSecondsSince1970(), m_upload.fileHash, m_upload.numberOfBytes }
{
}

std::expected<UploadInitResult, Reactive::AnyError> FileUploadInitRequest::parse(const DataResponse& response) const
{
    auto decoded = JSONDecoder::makeDefault().decode<UploadInitResponse>(response.data);
    if (!decoded)
        return std::unexpected(Reactive::AnyError(std::move(decoded.error())));
    if (decoded->shouldUpload)
        return UploadInitResult::upload(m_upload, decoded->file.fileID());
    return UploadInitResult::fileExists(std::move(decoded->file));
}

FileUploadRequest::FileUploadRequest(Upload upload, std::int64_t fileID)
    : m_path("files/" + std::to_string(fileID) + "/stream")
    , m_fileURL(upload.fileURL)
    , m_contentType(upload.mimeType)
    , m_fileID(fileID)
    , m_upload(std::move(upload))
{
}

void FileUploadRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("path", m_path);
    writer.encode("method", rawValue(HTTPMethod::put));
    writer.encode("fileURL", m_fileURL);
    writer.encode("contentType", m_contentType);
    writer.encode("fileID", m_fileID);
    writer.encode("upload", m_upload);
}

std::expected<FileUploadRequest, DecodingError> FileUploadRequest::decode(const JSONValueReader& reader)
{
    auto object = reader.object();
    if (!object)
        return std::unexpected(object.error());
    std::optional<DecodingError> error;
    std::string path;
    if (!object->read("path", path, error))
        return std::unexpected(std::move(*error));
    auto fileURL = object->decode<Platform::URL>("fileURL");
    if (!fileURL)
        return std::unexpected(fileURL.error());
    std::string contentType;
    std::int64_t fileID = 0;
    if (!object->read("contentType", contentType, error) || !object->read("fileID", fileID, error))
        return std::unexpected(std::move(*error));
    auto upload = object->decode<Upload>("upload");
    if (!upload)
        return std::unexpected(upload.error());
    FileUploadRequest request(std::move(*upload), fileID);
    request.m_path = std::move(path);
    request.m_fileURL = std::move(*fileURL);
    request.m_contentType = std::move(contentType);
    return request;
}

} // namespace Quarlink
