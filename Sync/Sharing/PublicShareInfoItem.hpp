#pragma once

#include "Sync/Sharing/PublicShareInfo.hpp"

namespace Sync {

// The engine's own public link record: a plain value, every field readable
// and writable, stored unchanged.
class PublicShareInfoItem final : public PublicShareInfo {
public:
    PublicShareInfoItem(std::optional<std::int64_t> shareID, std::optional<std::int64_t> fileID, Platform::URL publicURL,
        std::optional<Platform::Date> expirationDate)
        : m_shareID(shareID)
        , m_fileID(fileID)
        , m_publicURL(std::move(publicURL))
        , m_expirationDate(expirationDate)
    {
    }

    // A record from its dictionary form (see makePublicShareInfo).
    [[nodiscard]] static std::optional<PublicShareInfoItem> create(const ArchiveDictionary& dictionary)
    {
        return makePublicShareInfo<PublicShareInfoItem>(dictionary);
    }

    [[nodiscard]] std::optional<std::int64_t> shareID() const override { return m_shareID; }
    [[nodiscard]] std::optional<std::int64_t> fileID() const override { return m_fileID; }
    [[nodiscard]] const Platform::URL& publicURL() const override { return m_publicURL; }
    [[nodiscard]] std::optional<Platform::Date> expirationDate() const override { return m_expirationDate; }

    void setShareID(std::optional<std::int64_t> shareID) { m_shareID = shareID; }
    void setFileID(std::optional<std::int64_t> fileID) { m_fileID = fileID; }
    void setPublicURL(Platform::URL publicURL) { m_publicURL = std::move(publicURL); }
    void setExpirationDate(std::optional<Platform::Date> expirationDate) { m_expirationDate = expirationDate; }

private:
    std::optional<std::int64_t> m_shareID;
    std::optional<std::int64_t> m_fileID;
    Platform::URL m_publicURL;
    std::optional<Platform::Date> m_expirationDate;
};

} // namespace Sync
