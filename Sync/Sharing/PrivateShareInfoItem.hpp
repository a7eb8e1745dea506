#pragma once

#include "Sync/Sharing/PrivateShareInfo.hpp"

namespace Sync {

// The engine's own private share record: a plain value, every field readable
// and writable, stored unchanged.
class PrivateShareInfoItem final : public PrivateShareInfo {
public:
    PrivateShareInfoItem(std::optional<std::int64_t> shareID, std::optional<std::int64_t> fileID, bool isMine,
        ShareInfoStatus status, std::optional<std::string> recipient, std::string email, std::string fileName)
        : m_shareID(shareID)
        , m_fileID(fileID)
        , m_isMine(isMine)
        , m_status(status)
        , m_recipient(std::move(recipient))
        , m_email(std::move(email))
        , m_fileName(std::move(fileName))
    {
    }

    // A record from its dictionary form (see makePrivateShareInfo).
    [[nodiscard]] static std::optional<PrivateShareInfoItem> create(const ArchiveDictionary& dictionary)
    {
        return makePrivateShareInfo<PrivateShareInfoItem>(dictionary);
    }

    [[nodiscard]] std::optional<std::int64_t> shareID() const override { return m_shareID; }
    [[nodiscard]] std::optional<std::int64_t> fileID() const override { return m_fileID; }
    [[nodiscard]] bool isMine() const override { return m_isMine; }
    [[nodiscard]] ShareInfoStatus status() const override { return m_status; }
    [[nodiscard]] const std::optional<std::string>& recipient() const override { return m_recipient; }
    [[nodiscard]] const std::string& email() const override { return m_email; }
    [[nodiscard]] const std::string& fileName() const override { return m_fileName; }

    void setShareID(std::optional<std::int64_t> shareID) { m_shareID = shareID; }
    void setFileID(std::optional<std::int64_t> fileID) { m_fileID = fileID; }
    void setIsMine(bool isMine) { m_isMine = isMine; }
    void setStatus(ShareInfoStatus status) { m_status = status; }
    void setRecipient(std::optional<std::string> recipient) { m_recipient = std::move(recipient); }
    void setEmail(std::string email) { m_email = std::move(email); }
    void setFileName(std::string fileName) { m_fileName = std::move(fileName); }

private:
    std::optional<std::int64_t> m_shareID;
    std::optional<std::int64_t> m_fileID;
    bool m_isMine { false };
    ShareInfoStatus m_status { ShareInfoStatus::Accepted };
    std::optional<std::string> m_recipient;
    std::string m_email;
    std::string m_fileName;
};

} // namespace Sync
