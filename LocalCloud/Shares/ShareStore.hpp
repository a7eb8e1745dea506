#pragma once

#include "LocalCloud/Storage/ServiceClock.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/Storage/ServiceError.hpp"
#include "LocalCloud/Tree/FileTree.hpp"

#include <expected>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace LocalCloud {

// Public links and private shares of every account, kept in the service
// database and mirrored in memory. Every change of a file's shares is written
// to the file's share fields in the tree (which gives it and its ancestors new
// etags). Every member may be called from any thread.
class ShareStore {
public:
    // Longest lifetime of a public link, in days.
    static constexpr std::int64_t maximumLifetimeDays = 3650;

    [[nodiscard]] static std::expected<std::unique_ptr<ShareStore>, std::string> open(
        const std::filesystem::path& dataFolder, FileTree& tree, ServiceClock clock);

    // A public link of `days` days (0: without end).
    [[nodiscard]] std::expected<ShareRecord, ServiceError> createPublicLink(const std::string& owner,
        std::int64_t fileID, std::int64_t days);
    // One private share per recipient; `recipientOf` names the account an address belongs to (empty for none).
    [[nodiscard]] std::expected<std::vector<ShareRecord>, ServiceError> createPrivateShares(const std::string& owner,
        std::int64_t fileID, const std::string& message, const std::vector<std::string>& addresses,
        const std::function<std::string(const std::string&)>& recipientOf);
    [[nodiscard]] std::expected<ShareRecord, ServiceError> updateLifetime(const std::string& owner,
        std::int64_t shareID, std::int64_t days);
    [[nodiscard]] std::expected<void, ServiceError> remove(const std::string& owner, std::int64_t shareID);
    // "public", "private" or empty for both.
    [[nodiscard]] std::expected<void, ServiceError> removeForFile(const std::string& owner, std::int64_t fileID,
        const std::string& type);
    [[nodiscard]] std::vector<ShareRecord> sharesOfFile(const std::string& owner, std::int64_t fileID) const;
    // The account's own shares, then the private shares it received and did not decline.
    [[nodiscard]] std::vector<ShareRecord> sharesOf(const std::string& account) const;
    [[nodiscard]] std::vector<ShareRecord> pendingFor(const std::string& account) const;
    [[nodiscard]] std::expected<ShareRecord, ServiceError> answer(const std::string& recipient, std::int64_t shareID,
        bool accept, std::optional<std::int64_t> targetParentID, std::optional<std::string> targetName);
    // The live public link with that token.
    [[nodiscard]] std::optional<ShareRecord> publicLink(const std::string& token) const;
    // Whether one of the two accounts shares something privately with the other.
    [[nodiscard]] bool sharesBetween(const std::string& first, const std::string& second) const;

    // Whether `address` is one a private share can go to: one "@", a domain with a dot, no blanks.
    [[nodiscard]] static bool isValidAddress(const std::string& address);

private:
    ShareStore(Platform::Database database, FileTree& tree, ServiceClock clock);
    [[nodiscard]] std::expected<void, std::string> load();
    // Needs `m_mutex`: writes `changes` and `removals`, then the share fields of `fileID`.
    [[nodiscard]] std::expected<void, ServiceError> commit(const std::string& owner, std::int64_t fileID,
        const std::vector<ShareRecord>& changes, const std::vector<std::int64_t>& removals, bool identifiersUsed);
    [[nodiscard]] std::string newToken();

    mutable std::mutex m_mutex;
    Platform::Database m_database;
    FileTree& m_tree;
    ServiceClock m_clock;
    std::map<std::int64_t, ShareRecord> m_shares;
    std::int64_t m_lastIdentifier = 0;
};

} // namespace LocalCloud
