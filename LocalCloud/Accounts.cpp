#include "LocalCloud/Accounts.hpp"

#include "LocalCloud/PasswordHash.hpp"
#include "Platform/Foundation/Digest.hpp"

#include <iomanip>
#include <sstream>

namespace LocalCloud {

Accounts::Accounts()
    : m_random(std::random_device {}())
{
}

std::expected<void, Platform::DatabaseError> Accounts::attachDatabase(
    const Platform::DatabaseConfiguration& configuration)
{
    auto database = Platform::Database::open(configuration);
    if (!database)
        return std::unexpected(database.error());
    std::lock_guard guard(m_mutex);
    m_database.emplace(std::move(*database));
    return {};
}

std::optional<AccountRecord> Accounts::account(const std::string& login) const
{
    std::lock_guard guard(m_mutex);
    if (!m_database)
        return std::nullopt;
    auto found = m_database->object<AccountRecord>(login);
    if (!found)
        return std::nullopt;
    return *found;
}

CustomerRecord Accounts::customer(const std::string& login) const
{
    std::lock_guard guard(m_mutex);
    if (m_database) {
        if (auto found = m_database->object<CustomerRecord>(login); found && *found)
            return **found;
    }
    // A login that is an address is the account's address too.
    CustomerRecord made;
    made.login = login;
    made.email = login.find('@') != std::string::npos ? login : std::string();
    made.product = "LocalCloud";
    return made;
}

bool Accounts::setCustomer(const CustomerRecord& customer)
{
    std::lock_guard guard(m_mutex);
    return m_database && m_database->write([&] { return m_database->add(customer); }).has_value();
}

std::optional<std::string> Accounts::loginOfCustomer(std::int64_t customerID) const
{
    std::lock_guard guard(m_mutex);
    if (!m_database)
        return std::nullopt;
    auto found = m_database->objects<AccountRecord>(Platform::DatabaseQuery::equal("customerID", customerID), 1);
    if (!found || found->empty())
        return std::nullopt;
    return found->front().login;
}

std::optional<std::string> Accounts::loginOfAddress(const std::string& address) const
{
    std::lock_guard guard(m_mutex);
    if (!m_database)
        return std::nullopt;
    if (auto account = m_database->object<AccountRecord>(address); account && *account)
        return address;
    auto customers = m_database->objects<CustomerRecord>(Platform::DatabaseQuery::equal("email", address), 1);
    if (!customers || customers->empty())
        return std::nullopt;
    return customers->front().login;
}

void Accounts::addUser(std::string login, std::string password, AccountLock lock,
    std::optional<std::int64_t> quotaBytes)
{
    std::lock_guard guard(m_mutex);
    if (m_database) {
        auto stored = storeAccount(*m_database, login, password, quotaBytes, PasswordHash::testIterations);
        (void)stored;
    }
    m_locks[std::move(login)] = lock;
}

void Accounts::setLock(const std::string& login, AccountLock lock)
{
    std::lock_guard guard(m_mutex);
    m_locks[login] = lock;
}

void Accounts::expireSessions()
{
    std::lock_guard guard(m_mutex);
    m_sessions.clear();
}

std::size_t Accounts::liveSessionCount() const
{
    std::lock_guard guard(m_mutex);
    return m_sessions.size();
}

std::vector<LoginAttempt> Accounts::loginAttempts() const
{
    std::lock_guard guard(m_mutex);
    return m_loginAttempts;
}

void Accounts::setErrorLogMode(ErrorLogMode mode)
{
    std::lock_guard guard(m_mutex);
    m_errorLogMode = mode;
}

std::vector<ReceivedErrorReport> Accounts::errorReports() const
{
    std::lock_guard guard(m_mutex);
    return m_errorReports;
}

bool Accounts::waitForErrorReports(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock guard(m_mutex);
    return m_reportsChanged.wait_for(guard, timeout, [&] { return m_errorReports.size() >= count; });
}

std::vector<std::string> Accounts::issuedLoginLinks() const
{
    std::lock_guard guard(m_mutex);
    return m_loginLinks;
}

Accounts::LoginResult Accounts::logIn(const std::string& world, const std::string& login, const std::string& password)
{
    std::lock_guard guard(m_mutex);
    LoginResult result { LoginOutcome::wrongPassword, {}, 0 };
    std::optional<AccountRecord> account;
    if (m_database) {
        if (auto found = m_database->object<AccountRecord>(login); found)
            account = std::move(*found);
    }
    if (account) {
        auto lock = m_locks.find(login);
        // A lock wins over the password, so a locked account never learns whether it was right.
        switch (lock == m_locks.end() ? AccountLock::none : lock->second) {
        case AccountLock::temporary: result.outcome = LoginOutcome::temporarilyLocked; break;
        case AccountLock::permanent: result.outcome = LoginOutcome::permanentlyLocked; break;
        case AccountLock::none:
            if (passwordMatches(*account, password)) {
                result.outcome = LoginOutcome::succeeded;
                result.session = randomToken();
                result.customerID = account->customerID;
                m_sessions.emplace(result.session, login);
            }
            break;
        }
    }
    m_loginAttempts.push_back({ world, login, result.outcome == LoginOutcome::succeeded });
    return result;
}

bool Accounts::passwordMatches(const AccountRecord& account, const std::string& password)
{
    auto digest = Platform::sha256Hex(account.salt + password);
    auto verified = m_verified.find(account.login);
    if (verified != m_verified.end() && verified->second.storedHash == account.passwordHash)
        return verified->second.passwordDigest == digest;
    if (!PasswordHash::matches(password, account.salt, account.passwordHash, account.iterations))
        return false;
    m_verified[account.login] = { account.passwordHash, digest };
    return true;
}

std::pair<SessionCheck, std::string> Accounts::userOfCookie(const std::string& cookieHeader) const
{
    // "name=value; name=value"; the last "session" cookie wins, as a jar sends only one.
    std::optional<std::string> session;
    std::size_t position = 0;
    while (position < cookieHeader.size()) {
        auto end = cookieHeader.find(';', position);
        if (end == std::string::npos)
            end = cookieHeader.size();
        auto pair = cookieHeader.substr(position, end - position);
        auto first = pair.find_first_not_of(' ');
        if (first != std::string::npos) {
            pair.erase(0, first);
            auto equals = pair.find('=');
            if (equals != std::string::npos && pair.substr(0, equals) == sessionCookieName)
                session = pair.substr(equals + 1);
        }
        position = end + 1;
    }
    if (!session)
        return { SessionCheck::missing, {} };
    auto live = m_sessions.find(*session);
    if (live == m_sessions.end())
        return { SessionCheck::expired, {} };
    return { SessionCheck::valid, live->second };
}

SessionCheck Accounts::checkSession(const std::string& cookieHeader) const
{
    std::lock_guard guard(m_mutex);
    return userOfCookie(cookieHeader).first;
}

std::optional<std::string> Accounts::sessionUser(const std::string& cookieHeader) const
{
    std::lock_guard guard(m_mutex);
    auto [check, user] = userOfCookie(cookieHeader);
    if (check != SessionCheck::valid)
        return std::nullopt;
    return user;
}

std::string Accounts::issueLoginLink(const std::string& origin)
{
    std::lock_guard guard(m_mutex);
    auto link = origin + "/login/hash/" + randomToken();
    m_loginLinks.push_back(link);
    return link;
}

ErrorLogMode Accounts::receiveErrorReport(ReceivedErrorReport report)
{
    ErrorLogMode mode;
    {
        std::lock_guard guard(m_mutex);
        m_errorReports.push_back(std::move(report));
        mode = m_errorLogMode;
    }
    m_reportsChanged.notify_all();
    return mode;
}

std::string Accounts::randomToken()
{
    std::ostringstream text;
    text << std::hex << std::setfill('0') << std::setw(16) << m_random() << std::setw(16) << m_random();
    return text.str();
}

} // namespace LocalCloud
