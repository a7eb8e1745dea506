#pragma once

// Quarlink/Uploads: local files on their way into a remote folder, and the
// records that describe them to the service.

#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <functional>
#include <string>

namespace Quarlink {

// One local file to be stored in a remote folder, with what the service needs
// to decide whether the content must be sent at all: name, dates, MIME type,
// size and SHA-1 content hash. A plain value; the library never changes a
// record once it is made.
struct Upload {
    // The local file.
    Platform::URL fileURL;
    // The remote folder that receives the file.
    std::int64_t parentID { 0 };
    // The name the file is stored under: the last path component of `fileURL`.
    std::string fileName {};
    // When the file was made; the time the record was made where the file system keeps no birth time.
    Platform::Date createdDate {};
    // When the content last changed.
    Platform::Date lastModifiedDate {};
    // The content's MIME type, "application/octet-stream" when the name tells none.
    std::string mimeType {};
    std::int64_t numberOfBytes { 0 };
    // SHA-1 of the content, 40 lower-case hexadecimal digits; empty when the content could not be read.
    std::string fileHash {};
    // The caller's last attempt to send this record failed; false in a new record.
    bool lastAttemptFailed { false };

    // The record of the file at `fileURL` for the folder `folderID`. Fails
    // only when the file's status cannot be read (it is missing, or no access).
    // Reads and hashes the whole content on the calling thread, in blocks, so
    // a file of several GiB needs no more memory than a small one; content that
    // cannot be read gives an empty hash, not an error.
    [[nodiscard]] static std::expected<Upload, Platform::FileSystemError> create(std::int64_t folderID, const Platform::URL& fileURL);

    // The MIME type the record gives the file at `fileURL`: its content type,
    // else "application/octet-stream".
    [[nodiscard]] static std::string mimeTypeForFileAt(const Platform::URL& fileURL);

    // The digest by which a content transfer and its record are matched:
    // SHA-1 over the UTF-8 text "<parentID>/<fileName>/<fileHash>", the name
    // exactly as spelt. Worked out anew at each call.
    [[nodiscard]] std::string requestHash() const;

    // The nine fields under their own names ("fileURL", "parentID", ...), in order.
    void encode(JSONObjectWriter& writer) const;
    // All nine keys are required; the first one missing or mistyped fails.
    [[nodiscard]] static std::expected<Upload, DecodingError> decode(const JSONValueReader& reader);

    friend bool operator==(const Upload&, const Upload&) = default;
};

} // namespace Quarlink

// Equal records have equal URLs, so the URL alone is hashed.
template<>
struct std::hash<Quarlink::Upload> {
    std::size_t operator()(const Quarlink::Upload& upload) const noexcept { return std::hash<Platform::URL>()(upload.fileURL); }
};
