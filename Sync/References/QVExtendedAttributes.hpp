#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Sync/Archive/KeyedArchiver.hpp"

#include <cstdint>
#include <memory>
#include <string_view>

namespace Sync {

// The record archived into an item's extended attribute: the remote file id
// it is bound to, the SHA-256 of the relative path it was written for, and
// the bookmark (Platform::FileIdentity) of the item it was written on.
// The archive is this record's dictionary: "$class" = "QVExtendedAttributes",
// "RFI" (integer), "FNH" and "BmD" (bytes). Never rename these keys: they
// are stored on users' files. A plain object; not thread-safe.
class QVExtendedAttributes final : public KeyedArchiver {
public:
    static constexpr std::string_view className = "QVExtendedAttributes";

    QVExtendedAttributes() = default;
    QVExtendedAttributes(std::uint64_t remoteFileID, Platform::Data fileNameHash, Platform::Data bookmarkData)
        : m_remoteFileID(remoteFileID)
        , m_fileNameHash(std::move(fileNameHash))
        , m_bookmarkData(std::move(bookmarkData))
    {
    }

    [[nodiscard]] static std::shared_ptr<QVExtendedAttributes> attributesWithRemoteFileId(std::uint64_t remoteFileID,
        Platform::Data fileNameHash, Platform::Data bookmarkData)
    {
        return std::make_shared<QVExtendedAttributes>(remoteFileID, std::move(fileNameHash), std::move(bookmarkData));
    }

    // The record of a dictionary; nullptr when "$class" does not name this
    // class. Missing or mistyped values read as 0 and empty bytes.
    [[nodiscard]] static std::shared_ptr<QVExtendedAttributes> create(const ArchiveDictionary& dictionary);

    [[nodiscard]] ArchiveDictionary dictionary() const override;

    [[nodiscard]] std::uint64_t remoteFileID() const { return m_remoteFileID; }
    [[nodiscard]] const Platform::Data& fileNameHash() const { return m_fileNameHash; }
    [[nodiscard]] const Platform::Data& bookmarkData() const { return m_bookmarkData; }
    void setRemoteFileID(std::uint64_t remoteFileID) { m_remoteFileID = remoteFileID; }
    void setFileNameHash(Platform::Data hash) { m_fileNameHash = std::move(hash); }
    void setBookmarkData(Platform::Data bookmark) { m_bookmarkData = std::move(bookmark); }

private:
    std::uint64_t m_remoteFileID = 0;
    Platform::Data m_fileNameHash;
    Platform::Data m_bookmarkData;
};

} // namespace Sync
