#pragma once

// Quarlink/Files: the service's files and folders, what it answers about
// them, and the properties of local files that describe them for an upload.

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CodingKeys.hpp"

#include <any>
#include <array>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Quarlink {

class DownloadFolderConfig;

// Free data a client attaches to a file; never decoded, compared or sent.
using FileUserInfo = std::unordered_map<std::string, std::any>;

// The JSON keys of a file object, in the order they are read. "exif_created"
// is a key without a field of its own: it overrides the creation date.
struct FileKeyTable {
    enum class Case {
        fileID,
        parentID,
        path,
        fileName,
        hasPrivateShares,
        hasPublicShare,
        isPrivatelySharable,
        isPubliclySharable,
        publicShareExpirationDate,
        numberOfPrivateShares,
        createdDate,
        exifCreatedDate,
        lastModifiedDate,
        mimeType,
        numberOfBytes,
        fileHash,
        isDeleted,
        etag,
    };
    static constexpr std::array<std::pair<Case, std::string_view>, 18> keys { {
        { Case::fileID, "id" },
        { Case::parentID, "parent_file_id" },
        { Case::path, "path" },
        { Case::fileName, "name" },
        { Case::hasPrivateShares, "has_private_shares" },
        { Case::hasPublicShare, "has_public_shares" },
        { Case::isPrivatelySharable, "is_share_allowed_private" },
        { Case::isPubliclySharable, "is_share_allowed_public" },
        { Case::publicShareExpirationDate, "share_valid_to" },
        { Case::numberOfPrivateShares, "share_with" },
        { Case::createdDate, "created" },
        { Case::exifCreatedDate, "exif_created" },
        { Case::lastModifiedDate, "modified" },
        { Case::mimeType, "mime_type" },
        { Case::numberOfBytes, "file_size" },
        { Case::fileHash, "file_hash" },
        { Case::isDeleted, "deleted" },
        { Case::etag, "etag" },
    } };
};

// One remote file or folder as the service describes it.
//
// A value whose 20 fields live in one shared, immutable-while-shared storage
// object: copying a File (into arrays, through streams, into closures) copies
// one pointer. Every setter first makes the storage its own when another value
// shares it, so a change never shows through another copy. Any number of
// threads may read copies at once; one File variable must not be written from
// two threads at once.
class File {
public:
    using CodingKeys = Quarlink::CodingKeys<FileKeyTable>;

    // The MIME type of folders.
    static constexpr std::string_view folderMimeType = "httpd/unix-directory";
    // What an empty MIME type is taken to be when a file is made.
    static constexpr std::string_view defaultMimeType = "application/octet-stream";

    // The 20 stored fields, in their order, for building a File with named fields.
    struct Fields {
        std::int64_t fileID = 0;
        std::int64_t parentID = 0;
        std::string path {};
        std::string fileName {};
        bool isFavorite = false;
        bool hasReminder = false;
        bool hasPrivateShares = false;
        bool hasPublicShare = false;
        bool isPrivatelySharable = false;
        bool isPubliclySharable = false;
        std::optional<Platform::Date> publicShareExpirationDate {};
        std::int64_t numberOfPrivateShares = 0;
        Platform::Date createdDate {};
        Platform::Date lastModifiedDate {};
        std::string mimeType {};
        std::int64_t numberOfBytes = 0;
        std::string fileHash {};
        bool isDeleted = false;
        std::optional<FileUserInfo> userInfo {};
        std::string etag {};
    };

    // A new file from its fields; an empty MIME type is stored as "application/octet-stream".
    explicit File(Fields fields);

    // Reads one file object by the key table, in its order; the first missing,
    // null or mistyped required key fails with an error naming it. "deleted"
    // is true for any number and false for anything else, never an error.
    [[nodiscard]] static std::expected<File, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] std::int64_t fileID() const;
    [[nodiscard]] std::int64_t parentID() const;
    [[nodiscard]] const std::string& path() const;
    [[nodiscard]] const std::string& fileName() const;
    [[nodiscard]] bool isFavorite() const;
    [[nodiscard]] bool hasReminder() const;
    [[nodiscard]] bool hasPrivateShares() const;
    [[nodiscard]] bool hasPublicShare() const;
    [[nodiscard]] bool isPrivatelySharable() const;
    [[nodiscard]] bool isPubliclySharable() const;
    [[nodiscard]] const std::optional<Platform::Date>& publicShareExpirationDate() const;
    [[nodiscard]] std::int64_t numberOfPrivateShares() const;
    [[nodiscard]] Platform::Date createdDate() const;
    [[nodiscard]] Platform::Date lastModifiedDate() const;
    [[nodiscard]] const std::string& mimeType() const;
    [[nodiscard]] std::int64_t numberOfBytes() const;
    [[nodiscard]] const std::string& fileHash() const;
    [[nodiscard]] bool isDeleted() const;
    [[nodiscard]] const std::optional<FileUserInfo>& userInfo() const;
    [[nodiscard]] const std::string& etag() const;
    // All fields at once.
    [[nodiscard]] const Fields& fields() const;

    // Setters store what they are given (an empty MIME type included).
    void setFileID(std::int64_t value);
    void setParentID(std::int64_t value);
    void setPath(std::string value);
    void setFileName(std::string value);
    void setIsFavorite(bool value);
    void setHasReminder(bool value);
    void setHasPrivateShares(bool value);
    void setHasPublicShare(bool value);
    void setIsPrivatelySharable(bool value);
    void setIsPubliclySharable(bool value);
    void setPublicShareExpirationDate(std::optional<Platform::Date> value);
    void setNumberOfPrivateShares(std::int64_t value);
    void setCreatedDate(Platform::Date value);
    void setLastModifiedDate(Platform::Date value);
    void setMimeType(std::string value);
    void setNumberOfBytes(std::int64_t value);
    void setFileHash(std::string value);
    void setIsDeleted(bool value);
    void setUserInfo(std::optional<FileUserInfo> value);
    void setEtag(std::string value);
    // Changes several fields in place with one copy at most.
    void modify(const std::function<void(Fields&)>& change);

    // MIME tests on the whole stored text, case-sensitive; the prefixes hold no
    // slash ("imagery/x" counts as an image).
    [[nodiscard]] bool isFolder() const;
    [[nodiscard]] bool isImage() const;
    // The same test as `isImage`.
    [[nodiscard]] bool isPhoto() const;
    [[nodiscard]] bool isMusic() const;
    // One of the 25 office, PDF, RTF and plain-text types.
    [[nodiscard]] bool isDocument() const;

    // The letter a list groups the file under: the first character of the
    // fully upper-cased name when it is one of A to Z, else "#" (also for an
    // empty name). "ßeta" is under "S", "äpfel", "É" and "1abc" under "#".
    [[nodiscard]] std::string initial() const;
    // `path` without its last component, a trailing slash dropped first:
    // "/a/b/c" → "/a/b", "/a" → "/", "/" → "/", "a" → "".
    [[nodiscard]] std::string parentFolderPath() const;
    // "File(fileID: 7, name: a.txt, type: text/plain)".
    [[nodiscard]] std::string debugDescription() const;

    // `folder`/<fileID>/<fileName>, the name joined as it is (placing a
    // download refuses unsafe names). Nothing is made on disk.
    [[nodiscard]] Platform::URL downloadDestinationURL(const Platform::URL& folder) const;
    // The destination in the favourites folder when the file is a favourite, else in the default one.
    [[nodiscard]] Platform::URL downloadDestinationURLWithConfig(const DownloadFolderConfig& config) const;

    // True when the file has no hash, else when `hash` is present and equal to it.
    [[nodiscard]] bool isFileHashUpToDate(const std::optional<std::string>& hash) const;
    // False when nothing can be reached at `url`; else true for a favourite
    // and for a file without hash, otherwise when `hash` equals the file's.
    [[nodiscard]] bool isDownloadedFileUpToDate(const Platform::URL& url, const std::optional<std::string>& hash) const;

    // Equal when identifier, parent, path, the favourite and share flags, the
    // expiry, both dates, MIME type, size, hash and etag are; texts compare
    // canonically (NFC equals NFD). The name, reminder flag, share count,
    // deleted flag and user info take no part.
    friend bool operator==(const File& left, const File& right);

    // True when both values share one storage object (a copy not yet written).
    [[nodiscard]] bool sharesStorageWith(const File& other) const { return m_reference == other.m_reference; }

private:
    class Reference;

    Fields& mutableFields();

    std::shared_ptr<Reference> m_reference;
};

// `folder`/<fileID>/<fileName>, the name joined as it is (the rule of
// `File::downloadDestinationURL`, for callers that hold no File).
[[nodiscard]] Platform::URL downloadDestinationURL(const Platform::URL& folder, std::int64_t fileID, std::string_view fileName);

// The identifiers of the files, in their order.
template<class Files>
[[nodiscard]] std::vector<std::int64_t> fileIDs(const Files& files)
{
    std::vector<std::int64_t> identifiers;
    for (const File& file : files)
        identifiers.push_back(file.fileID());
    return identifiers;
}

} // namespace Quarlink

// Consistent with equality: equal files have equal identifiers.
template<>
struct std::hash<Quarlink::File> {
    std::size_t operator()(const Quarlink::File& file) const noexcept { return std::hash<std::int64_t>()(file.fileID()); }
};
