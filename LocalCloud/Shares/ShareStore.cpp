#include "LocalCloud/Shares/ShareStore.hpp"

#include "LocalCloud/Secrets/RandomToken.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <chrono>

namespace LocalCloud {

namespace {

constexpr std::int64_t pending = 1;
constexpr std::int64_t accepted = 2;
constexpr std::int64_t declined = 0;

std::int64_t endOfLifetime(std::int64_t days, std::int64_t now)
{
    return days == 0 ? 0 : now + days * 86400;
}

} // namespace

std::expected<std::unique_ptr<ShareStore>, std::string> ShareStore::open(const std::filesystem::path& dataFolder,
    FileTree& tree, ServiceClock clock)
{
    auto database = Platform::Database::open(serviceDatabaseConfiguration(dataFolder));
    if (!database)
        return std::unexpected("cannot open the service database: " + database.error().message());
    std::unique_ptr<ShareStore> store(new ShareStore(std::move(*database), tree, std::move(clock)));
    if (auto loaded = store->load(); !loaded)
        return std::unexpected(loaded.error());
    return store;
}

ShareStore::ShareStore(Platform::Database database, FileTree& tree, ServiceClock clock)
    : m_database(std::move(database))
    , m_tree(tree)
    , m_clock(std::move(clock))
{
}

std::expected<void, std::string> ShareStore::load()
{
    auto read = m_database.forEachObject<ShareRecord>(Platform::DatabaseQuery::all(), [&](ShareRecord record) {
        m_lastIdentifier = std::max(m_lastIdentifier, record.id);
        auto identifier = record.id;
        m_shares.emplace(identifier, std::move(record));
    });
    if (!read)
        return std::unexpected("cannot read the shares: " + read.error().message());
    auto counter = m_database.object<CounterRecord>(std::string("share"));
    if (!counter)
        return std::unexpected("cannot read the share counter: " + counter.error().message());
    if (*counter)
        m_lastIdentifier = std::max(m_lastIdentifier, (*counter)->value);
    return {};
}

bool ShareStore::isValidAddress(const std::string& address)
{
    auto at = address.find('@');
    if (at == std::string::npos || at == 0 || address.find('@', at + 1) != std::string::npos)
        return false;
    for (unsigned char character : address) {
        if (character <= 0x20 || character == 0x7f)
            return false;
    }
    auto domain = address.substr(at + 1);
    auto dot = domain.find('.');
    return dot != std::string::npos && dot > 0 && dot + 1 < domain.size();
}

std::string ShareStore::newToken()
{
    // A link nobody can guess is the only protection a public link has.
    try {
        return randomToken();
    } catch (const std::runtime_error&) {
        return {};
    }
}

std::expected<void, ServiceError> ShareStore::commit(const std::string& owner, std::int64_t fileID,
    const std::vector<ShareRecord>& changes, const std::vector<std::int64_t>& removals, bool identifiersUsed)
{
    auto written = m_database.write([&]() -> std::expected<void, Platform::DatabaseError> {
        for (auto identifier : removals) {
            if (auto removed = m_database.remove<ShareRecord>(identifier); !removed)
                return std::unexpected(removed.error());
        }
        for (const auto& share : changes) {
            if (auto stored = m_database.add(share); !stored)
                return stored;
        }
        if (identifiersUsed)
            return m_database.add(CounterRecord { "share", m_lastIdentifier });
        return {};
    });
    if (!written)
        return std::unexpected(ServiceErrors::databaseFailure(written.error()));
    for (auto identifier : removals)
        m_shares.erase(identifier);
    for (const auto& share : changes)
        m_shares[share.id] = share;
    ShareState state;
    for (const auto& [identifier, share] : m_shares) {
        if (share.owner != owner || share.fileID != fileID)
            continue;
        if (share.isPublic()) {
            state.hasPublicLink = true;
            state.publicValidTo = share.validTo;
        } else if (share.status != declined) {
            ++state.privateShares;
        }
    }
    // The file may be gone meanwhile; its shares then only wait for their deletion.
    (void)m_tree.setShareState(owner, fileID, state);
    return {};
}

std::expected<ShareRecord, ServiceError> ShareStore::createPublicLink(const std::string& owner, std::int64_t fileID,
    std::int64_t days)
{
    if (days < 0 || days > maximumLifetimeDays)
        return std::unexpected(ServiceErrors::invalidParameters());
    std::lock_guard lock(m_mutex);
    if (auto problem = m_tree.shareProblem(owner, fileID, true))
        return std::unexpected(*problem);
    ShareRecord share;
    share.id = ++m_lastIdentifier;
    share.owner = owner;
    share.fileID = fileID;
    share.type = "public";
    share.token = newToken();
    share.validTo = endOfLifetime(days, m_clock.seconds());
    if (share.token.empty())
        return std::unexpected(ServiceErrors::internal("No random bytes for a link"));
    if (auto committed = commit(owner, fileID, { share }, {}, true); !committed)
        return std::unexpected(committed.error());
    return share;
}

std::expected<std::vector<ShareRecord>, ServiceError> ShareStore::createPrivateShares(const std::string& owner,
    std::int64_t fileID, const std::string& message, const std::vector<std::string>& addresses,
    const std::function<std::string(const std::string&)>& recipientOf)
{
    for (const auto& address : addresses) {
        if (!isValidAddress(address))
            return std::unexpected(ServiceErrors::invalidRecipients());
    }
    std::lock_guard lock(m_mutex);
    if (auto problem = m_tree.shareProblem(owner, fileID, false))
        return std::unexpected(*problem);
    std::vector<ShareRecord> shares;
    for (const auto& address : addresses) {
        ShareRecord share;
        share.id = ++m_lastIdentifier;
        share.owner = owner;
        share.fileID = fileID;
        share.type = "private";
        share.email = address;
        share.message = message;
        share.recipient = recipientOf(address);
        share.status = pending;
        shares.push_back(std::move(share));
    }
    if (shares.empty())
        return shares;
    if (auto committed = commit(owner, fileID, shares, {}, true); !committed)
        return std::unexpected(committed.error());
    return shares;
}

std::expected<ShareRecord, ServiceError> ShareStore::updateLifetime(const std::string& owner, std::int64_t shareID,
    std::int64_t days)
{
    if (days < 0 || days > maximumLifetimeDays)
        return std::unexpected(ServiceErrors::invalidParameters());
    std::lock_guard lock(m_mutex);
    auto found = m_shares.find(shareID);
    if (found == m_shares.end() || found->second.owner != owner || !found->second.isPublic())
        return std::unexpected(ServiceErrors::fileNotFound());
    auto share = found->second;
    share.validTo = endOfLifetime(days, m_clock.seconds());
    if (auto committed = commit(owner, share.fileID, { share }, {}, false); !committed)
        return std::unexpected(committed.error());
    return share;
}

std::expected<void, ServiceError> ShareStore::remove(const std::string& owner, std::int64_t shareID)
{
    std::lock_guard lock(m_mutex);
    auto found = m_shares.find(shareID);
    if (found == m_shares.end() || found->second.owner != owner)
        return std::unexpected(ServiceErrors::fileNotFound());
    auto fileID = found->second.fileID;
    return commit(owner, fileID, {}, { shareID }, false);
}

std::expected<void, ServiceError> ShareStore::removeForFile(const std::string& owner, std::int64_t fileID,
    const std::string& type)
{
    if (!m_tree.file(owner, fileID))
        return std::unexpected(ServiceErrors::fileNotFound());
    std::lock_guard lock(m_mutex);
    std::vector<std::int64_t> removals;
    for (const auto& [identifier, share] : m_shares) {
        if (share.owner == owner && share.fileID == fileID && (type.empty() || share.type == type))
            removals.push_back(identifier);
    }
    return commit(owner, fileID, {}, removals, false);
}

std::vector<ShareRecord> ShareStore::sharesOfFile(const std::string& owner, std::int64_t fileID) const
{
    std::lock_guard lock(m_mutex);
    std::vector<ShareRecord> shares;
    for (const auto& [identifier, share] : m_shares) {
        if (share.owner == owner && share.fileID == fileID)
            shares.push_back(share);
    }
    return shares;
}

std::vector<ShareRecord> ShareStore::sharesOf(const std::string& account) const
{
    std::lock_guard lock(m_mutex);
    std::vector<ShareRecord> own;
    std::vector<ShareRecord> received;
    for (const auto& [identifier, share] : m_shares) {
        if (share.owner == account)
            own.push_back(share);
        else if (!share.isPublic() && share.recipient == account && share.status != declined)
            received.push_back(share);
    }
    own.insert(own.end(), received.begin(), received.end());
    return own;
}

std::vector<ShareRecord> ShareStore::pendingFor(const std::string& account) const
{
    std::lock_guard lock(m_mutex);
    std::vector<ShareRecord> shares;
    for (const auto& [identifier, share] : m_shares) {
        if (!share.isPublic() && share.recipient == account && share.status == pending)
            shares.push_back(share);
    }
    return shares;
}

std::expected<ShareRecord, ServiceError> ShareStore::answer(const std::string& recipient, std::int64_t shareID,
    bool accept, std::optional<std::int64_t> targetParentID, std::optional<std::string> targetName)
{
    if (targetName) {
        if (auto problem = FileTree::nameProblem(*targetName))
            return std::unexpected(*problem);
    }
    if (targetParentID) {
        auto folder = m_tree.file(recipient, *targetParentID);
        if (!folder)
            return std::unexpected(folder.error());
        if (!folder->record.folder())
            return std::unexpected(ServiceErrors::notAllowed());
    }
    std::lock_guard lock(m_mutex);
    auto found = m_shares.find(shareID);
    if (found == m_shares.end() || found->second.isPublic() || found->second.recipient != recipient
        || found->second.status != pending)
        return std::unexpected(ServiceErrors::fileNotFound());
    auto share = found->second;
    share.status = accept ? accepted : declined;
    share.targetParentID = targetParentID.value_or(0);
    share.targetName = targetName.value_or("");
    if (auto committed = commit(share.owner, share.fileID, { share }, {}, false); !committed)
        return std::unexpected(committed.error());
    return share;
}

std::optional<ShareRecord> ShareStore::publicLink(const std::string& token) const
{
    if (token.size() != 32)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    for (const auto& [identifier, share] : m_shares) {
        if (share.isPublic() && share.token == token) {
            if (share.validTo != 0 && share.validTo <= m_clock.seconds())
                return std::nullopt;
            return share;
        }
    }
    return std::nullopt;
}

bool ShareStore::sharesBetween(const std::string& first, const std::string& second) const
{
    std::lock_guard lock(m_mutex);
    return std::ranges::any_of(m_shares, [&](const auto& entry) {
        const auto& share = entry.second;
        return !share.isPublic()
            && ((share.owner == first && share.recipient == second) || (share.owner == second && share.recipient == first));
    });
}

} // namespace LocalCloud
