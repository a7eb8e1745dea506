#pragma once

#include "Sync/Archive/KeyedArchiver.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Model/HashText.hpp"
#include "Sync/Sharing/PrivateShareInfo.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace Sync {

// The engine's own mutable file record: the ten File values plus the details
// of the item's shares. Shared by reference (std::shared_ptr): every holder
// sees every change. The disk scan makes one per item, the stored state
// keeps its dictionary form as archive bytes, and the change computation
// writes adopted identifiers and hashes into it.
//
// Invariant: while `type` is folder, `path` ends with "/" after construction
// and after every change of `path` (changing `type` alone leaves `path` as it
// is). The share flags and the share details are independent: a flag may be
// set while its details are unknown.
//
// Not thread-safe: whoever holds a record confines its changes to one thread
// at a time.
class FileWrapperItem final : public File, public KeyedArchiver {
public:
    using PublicShare = std::shared_ptr<const PublicShareInfo>;
    using PrivateShares = std::vector<std::shared_ptr<const PrivateShareInfo>>;

    // The `fileHash` of a record read from a dictionary without a text hash.
    static constexpr std::string_view missingFileHashKey = "#MissingFileHash#";

    // The twelve fields by name, for designated initialisers:
    // `FileWrapperItem({ .syncFileID = SyncFileID(), .path = "/a.txt", ... })`.
    // Fields left out are new local ids, empty texts, 1970, no etag, no
    // shares and a file type with an empty MIME type.
    struct Fields {
        SyncFileID syncFileID {};
        std::string path {};
        std::string fileName {};
        SyncFileID syncParentID {};
        bool hasPublicShare { false };
        PublicShare publicShareInfo {};
        bool hasPrivateShares { false };
        PrivateShares privateShareInfos {};
        Platform::Date lastModifiedDate {};
        std::optional<std::string> syncEtag {};
        FileType type { FileType::file("") };
        std::string fileHash {};
    };

    // Stores each value as given, except that a folder's path gains a trailing "/".
    explicit FileWrapperItem(Fields fields);

    // Copies the ten File values, share flags included; the share details are
    // never copied (publicShareInfo nil, privateShareInfos empty), even from
    // another FileWrapperItem.
    explicit FileWrapperItem(const File& file);

    // A record is shared, not copied: a copy would silently either keep or
    // drop the share details. Copy through `FileWrapperItem(const File&)`.
    FileWrapperItem(const FileWrapperItem&) = delete;
    FileWrapperItem& operator=(const FileWrapperItem&) = delete;

    // A record from its dictionary form; nullptr when "name", "path" or
    // "mimeType" is not text, or "parentFileId", "mtime" or "fileId" is not an
    // integer (null included). Other keys fall back to their defaults: no
    // etag, no share details, flags derived from the details, and
    // missingFileHashKey for the hash. A record read back has remote ids.
    [[nodiscard]] static std::shared_ptr<FileWrapperItem> create(const ArchiveDictionary& dictionary);
    // A record from archive bytes (see KeyedArchiver); nullptr for anything else.
    [[nodiscard]] static std::shared_ptr<FileWrapperItem> create(const Platform::Data& data);
    // The same over bytes held elsewhere (a database row).
    [[nodiscard]] static std::shared_ptr<FileWrapperItem> create(std::string_view archive);

    // The twelve keys: "name", "path", "mimeType", "parentFileId" and "fileId"
    // (integers, null for local ids), "hasPublicShare", "shareInfos" (empty or
    // one public share), "hasPrivateShares", "privateSharesInfos", "mtime"
    // (whole seconds since 1970, cut toward zero), "etag" (text or null),
    // "fileHash".
    [[nodiscard]] ArchiveDictionary dictionary() const override;

    [[nodiscard]] const SyncFileID& syncFileID() const override { return m_syncFileID; }
    [[nodiscard]] const std::string& path() const override { return m_path; }
    [[nodiscard]] const std::string& fileName() const override { return m_fileName; }
    [[nodiscard]] const SyncFileID& syncParentID() const override { return m_syncParentID; }
    [[nodiscard]] Platform::Date lastModifiedDate() const override { return m_lastModifiedDate; }
    [[nodiscard]] const FileType& type() const override { return m_type; }
    [[nodiscard]] const std::optional<std::string>& syncEtag() const override { return m_syncEtag; }
    [[nodiscard]] bool hasPublicShare() const override { return m_hasPublicShare; }
    [[nodiscard]] const PublicShare& publicShareInfo() const override;
    [[nodiscard]] bool hasPrivateShares() const override { return m_hasPrivateShares; }
    [[nodiscard]] const PrivateShares& privateShareInfos() const;
    [[nodiscard]] std::string_view fileHash() const override { return m_fileHash.view(); }

    void setSyncFileID(SyncFileID syncFileID) { m_syncFileID = std::move(syncFileID); }
    // Applies the folder invariant with the current type.
    void setPath(std::string path);
    // Changes the path in place, then applies the folder invariant.
    void modifyPath(const std::function<void(std::string&)>& change);
    void setFileName(std::string fileName) { m_fileName = std::move(fileName); }
    void setSyncParentID(SyncFileID syncParentID) { m_syncParentID = std::move(syncParentID); }
    void setLastModifiedDate(Platform::Date date) { m_lastModifiedDate = date; }
    void setType(FileType type) { m_type = std::move(type); }
    void setSyncEtag(std::optional<std::string> syncEtag) { m_syncEtag = std::move(syncEtag); }
    void setHasPublicShare(bool hasPublicShare) { m_hasPublicShare = hasPublicShare; }
    void setPublicShareInfo(PublicShare info);
    void setHasPrivateShares(bool hasPrivateShares) { m_hasPrivateShares = hasPrivateShares; }
    void setPrivateShareInfos(PrivateShares infos);
    void setFileHash(std::string_view fileHash) { m_fileHash = HashText(fileHash); }

private:
    void normalisePath();

    // A tree holds one record per item, twice during a run: the members are
    // ordered so that the small ones fill what would be padding.
    SyncFileID m_syncFileID;
    std::string m_path;
    std::string m_fileName;
    SyncFileID m_syncParentID;
    Platform::Date m_lastModifiedDate;
    FileType m_type;
    std::optional<std::string> m_syncEtag;
    // Most items have no share details: they take no room until they do.
    struct ShareDetails {
        PublicShare publicShareInfo;
        PrivateShares privateShareInfos;
    };
    ShareDetails& shareDetails();
    std::unique_ptr<ShareDetails> m_shareDetails;
    HashText m_fileHash;
    bool m_hasPublicShare { false };
    bool m_hasPrivateShares { false };
};

} // namespace Sync
