#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Quarlink/Uploads/Upload.hpp"

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>

namespace Quarlink {

// The header that carries a transfer's request hash; running transfers are
// matched back to their records by it.
inline constexpr std::string_view requestHashKey = "Request-Hash";

// The service's answer to an announcement, from the top level of the body:
// whether it needs the content ("upload" present, whatever its value) and the
// file record it made or found ("data", required).
struct UploadInitResponse {
    bool shouldUpload { false };
    File file;

    [[nodiscard]] static std::expected<UploadInitResponse, DecodingError> decode(const JSONValueReader& reader);
};

// The outcome of an announcement: the content must be sent to the given file
// identifier, or the service has the file already.
class UploadInitResult {
public:
    [[nodiscard]] static UploadInitResult upload(Upload record, std::int64_t fileID) { return UploadInitResult(Transfer { std::move(record), fileID }); }
    [[nodiscard]] static UploadInitResult fileExists(File file) { return UploadInitResult(std::move(file)); }

    [[nodiscard]] bool needsUpload() const { return std::holds_alternative<Transfer>(m_outcome); }
    // The record to send, for `upload`.
    [[nodiscard]] const Upload* record() const;
    // The file the service reported, for `fileExists`.
    [[nodiscard]] const File* existingFile() const;
    // The identifier that receives the content, or that of the existing file.
    [[nodiscard]] std::int64_t fileID() const;

private:
    struct Transfer {
        Upload record;
        std::int64_t fileID;
    };
    explicit UploadInitResult(std::variant<Transfer, File> outcome)
        : m_outcome(std::move(outcome))
    {
    }

    std::variant<Transfer, File> m_outcome;
};

// Announces a file: POST "files/init" with the record's facts. Eligible for
// low-bandwidth connections like every data request that parses its body.
class FileUploadInitRequest {
public:
    // The body; the dates are whole seconds already, cut toward zero.
    struct Payload {
        std::int64_t parentFileID { 0 };
        std::string name;
        std::string mimeType;
        std::int64_t created { 0 };
        std::int64_t modified { 0 };
        std::string hash;
        std::int64_t fileSize { 0 };

        void encode(JSONObjectWriter& writer) const;
    };

    using SuccessValue = UploadInitResult;
    static constexpr RequestTraits traits { .body = BodyKind::payloadJSON, .needsAuthentication = true,
        .overrides = { RequestMember::method, RequestMember::parse } };

    explicit FileUploadInitRequest(Upload upload);

    [[nodiscard]] std::string path() const { return "files/init"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    [[nodiscard]] const Payload& payload() const { return m_payload; }
    [[nodiscard]] const Upload& upload() const { return m_upload; }
    // The whole body as `UploadInitResponse` (no envelope): `upload` with the
    // announced record and the "data" file's identifier, or `fileExists`.
    [[nodiscard]] std::expected<UploadInitResult, Reactive::AnyError> parse(const DataResponse& response) const;

private:
    Upload m_upload;
    Payload m_payload;
};

// Sends a file's content to the remote file that receives it: PUT
// "files/<id>/stream" as an upload task from the file, with the record's
// request hash in "Request-Hash" and its MIME type as content type. Keeps its
// own JSON form both ways (the method as the integer 2 and never read back), which
// the transfer never sends.
class FileUploadRequest {
public:
    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::upload, .body = BodyKind::ownJSON, .needsAuthentication = true,
        .enveloped = true, .overrides = { RequestMember::method, RequestMember::contentType, RequestMember::customHeaders } };

    FileUploadRequest(Upload upload, std::int64_t fileID);

    [[nodiscard]] std::string path() const { return m_path; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::put; }
    [[nodiscard]] Platform::URL fileURL() const { return m_fileURL; }
    [[nodiscard]] std::string contentType() const { return m_contentType; }
    [[nodiscard]] HTTPHeaderFields customHeaders() const { return { { std::string(requestHashKey), m_upload.requestHash() } }; }
    [[nodiscard]] std::int64_t fileID() const { return m_fileID; }
    [[nodiscard]] const Upload& upload() const { return m_upload; }
    // "FileUploadRequest(<name>)".
    [[nodiscard]] std::string debugDescription() const { return "FileUploadRequest(" + m_upload.fileName + ")"; }

    // "path", "method" (2), "fileURL", "contentType", "fileID", "upload".
    void encode(JSONObjectWriter& writer) const;
    // Reads everything but "method": a decoded request always sends PUT.
    [[nodiscard]] static std::expected<FileUploadRequest, DecodingError> decode(const JSONValueReader& reader);

private:
    std::string m_path;
    Platform::URL m_fileURL;
    std::string m_contentType;
    std::int64_t m_fileID;
    Upload m_upload;
};

} // namespace Quarlink
