#include "LocalCloud/Accounts/Accounts.hpp"

#include "LocalCloud/Secrets/PasswordHash.hpp"
#include "LocalCloud/Secrets/RandomToken.hpp"
#include "Platform/Foundation/Digest.hpp"

#include <algorithm>

namespace LocalCloud {

namespace {

// What an unknown login is checked against: a hash no password derives to.
constexpr const char* unknownLoginSalt = "00000000000000000000000000000000";
constexpr const char* unknownLoginHash = "0000000000000000000000000000000000000000000000000000000000000000";

// A service that runs for long keeps only the latest of what it notes.
template <typename Entry>
void appendLatest(std::vector<Entry>& entries, Entry entry)
{
    if (entries.size() >= Accounts::maximumErrorReports)
        entries.erase(entries.begin());
    entries.push_back(std::move(entry));
}

} // namespace

Accounts::Accounts(ServiceClock clock)
    : m_clock(std::move(clock))
    , m_unknownLoginIterations(PasswordHash::standardIterations)
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
    m_unknownLoginIterations = PasswordHash::testIterations;
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
    m_sessionsOfAccount.clear();
    m_sessionsByUse.clear();
}

void Accounts::setSessionPolicy(SessionPolicy policy)
{
    std::lock_guard guard(m_mutex);
    m_sessionPolicy = policy;
}

void Accounts::setLoginLimits(LoginLimits limits)
{
    std::lock_guard guard(m_mutex);
    m_throttle = LoginThrottle(limits);
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

std::size_t Accounts::errorReportBytesHeld() const
{
    std::lock_guard guard(m_mutex);
    std::size_t bytes = 0;
    for (const auto& report : m_errorReports)
        bytes += report.body.capacity();
    return bytes;
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

Accounts::LoginResult Accounts::logIn(const std::string& world, const std::string& login, const std::string& password,
    const std::string& client)
{
    LoginResult result { LoginOutcome::wrongPassword, {}, 0 };
    std::optional<AccountRecord> account;
    AccountLock lock = AccountLock::none;
    std::optional<VerifiedPassword> verified;
    std::int64_t unknownIterations = 0;
    {
        std::lock_guard guard(m_mutex);
        if (m_throttle.mustWait(login, client, m_clock.steady())) {
            // Refused unchecked: a guesser learns nothing while it waits.
            appendLatest(m_loginAttempts, { world, login, false });
            return { LoginOutcome::temporarilyLocked, {}, 0 };
        }
        if (m_database) {
            if (auto found = m_database->object<AccountRecord>(login); found)
                account = std::move(*found);
        }
        if (auto found = m_locks.find(login); found != m_locks.end())
            lock = found->second;
        if (auto found = m_verified.find(login); account && found != m_verified.end()
            && found->second.storedHash == account->passwordHash)
            verified = found->second;
        unknownIterations = m_unknownLoginIterations;
    }

    // The costly check runs without the lock, so that other requests go on
    // meanwhile, and it runs for every attempt, known login or not, locked or
    // not: how long the answer takes tells nothing about the account.
    bool matches = false;
    std::string digest;
    if (account) {
        digest = Platform::sha256Hex(account->salt + password);
        // A password that matched before is taken at once; anything else pays the full price.
        matches = verified && verified->passwordDigest == digest;
        if (!matches)
            matches = PasswordHash::matches(password, account->salt, account->passwordHash, account->iterations);
    } else {
        (void)PasswordHash::matches(password, unknownLoginSalt, unknownLoginHash, unknownIterations);
    }

    std::lock_guard guard(m_mutex);
    if (account) {
        // A lock wins over the password, so a locked account never learns whether it was right.
        switch (lock) {
        case AccountLock::temporary: result.outcome = LoginOutcome::temporarilyLocked; break;
        case AccountLock::permanent: result.outcome = LoginOutcome::permanentlyLocked; break;
        case AccountLock::none:
            if (matches) {
                m_verified[login] = { account->passwordHash, digest };
                result.outcome = LoginOutcome::succeeded;
                result.session = openSession(login, m_clock.steady());
                result.customerID = account->customerID;
            }
            break;
        }
    }
    if (result.outcome == LoginOutcome::succeeded)
        m_throttle.succeeded(login, client);
    else if (lock == AccountLock::none)
        m_throttle.failed(login, client, m_clock.steady());
    appendLatest(m_loginAttempts, { world, login, result.outcome == LoginOutcome::succeeded });
    return result;
}

bool Accounts::sessionRanOut(const Session& session, std::chrono::steady_clock::time_point now) const
{
    if (now - session.lastUse >= m_sessionPolicy.lifetime)
        return true;
    return m_sessionPolicy.requestLimit && session.requests >= *m_sessionPolicy.requestLimit;
}

std::string Accounts::openSession(const std::string& login, std::chrono::steady_clock::time_point now)
{
    // Sessions that ran out go here, so that the table does not grow with every
    // login; the index by last use stops at the first one still live.
    while (!m_sessionsByUse.empty() && now - m_sessionsByUse.begin()->first >= m_sessionPolicy.lifetime) {
        auto session = m_sessions.find(m_sessionsByUse.begin()->second);
        if (session == m_sessions.end())
            m_sessionsByUse.erase(m_sessionsByUse.begin());
        endSession(session);
    }
    for (;;) {
        auto ofAccount = m_sessionsOfAccount.find(login);
        if (ofAccount == m_sessionsOfAccount.end()
            || ofAccount->second.size() < std::max<std::size_t>(1, m_sessionPolicy.perAccount))
            break;
        auto session = m_sessions.find(ofAccount->second.begin()->second);
        if (session == m_sessions.end())
            ofAccount->second.erase(ofAccount->second.begin());
        endSession(session);
    }
    auto token = randomToken();
    auto sequence = m_nextSessionSequence++;
    m_sessions.emplace(token, Session { login, now, 0, sequence });
    m_sessionsOfAccount[login].emplace(sequence, token);
    m_sessionsByUse.emplace(now, token);
    return token;
}

void Accounts::endSession(Sessions::iterator session)
{
    if (session == m_sessions.end())
        return;
    m_sessionsByUse.erase({ session->second.lastUse, session->first });
    if (auto ofAccount = m_sessionsOfAccount.find(session->second.login); ofAccount != m_sessionsOfAccount.end()) {
        ofAccount->second.erase(session->second.sequence);
        if (ofAccount->second.empty())
            m_sessionsOfAccount.erase(ofAccount);
    }
    m_sessions.erase(session);
}

void Accounts::useSession(Sessions::iterator session, std::chrono::steady_clock::time_point now)
{
    if (session->second.lastUse != now) {
        m_sessionsByUse.erase({ session->second.lastUse, session->first });
        m_sessionsByUse.emplace(now, session->first);
        session->second.lastUse = now;
    }
    ++session->second.requests;
}

std::optional<std::string> Accounts::sessionOfCookie(const std::string& cookieHeader)
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
    return session;
}

std::pair<SessionCheck, std::string> Accounts::userOfCookie(const std::string& cookieHeader, bool use)
{
    auto session = sessionOfCookie(cookieHeader);
    if (!session)
        return { SessionCheck::missing, {} };
    auto live = m_sessions.find(*session);
    if (live == m_sessions.end())
        return { SessionCheck::expired, {} };
    auto now = m_clock.steady();
    if (sessionRanOut(live->second, now)) {
        endSession(live);
        return { SessionCheck::expired, {} };
    }
    if (use)
        useSession(live, now);
    return { SessionCheck::valid, live->second.login };
}

SessionCheck Accounts::checkSession(const std::string& cookieHeader)
{
    std::lock_guard guard(m_mutex);
    return userOfCookie(cookieHeader, true).first;
}

std::optional<std::string> Accounts::sessionUser(const std::string& cookieHeader)
{
    std::lock_guard guard(m_mutex);
    auto [check, user] = userOfCookie(cookieHeader, true);
    if (check != SessionCheck::valid)
        return std::nullopt;
    return user;
}

std::optional<std::string> Accounts::sessionUserUnused(const std::string& cookieHeader) const
{
    std::lock_guard guard(m_mutex);
    auto session = sessionOfCookie(cookieHeader);
    auto live = session ? m_sessions.find(*session) : m_sessions.end();
    if (live == m_sessions.end() || sessionRanOut(live->second, m_clock.steady()))
        return std::nullopt;
    return live->second.login;
}

bool Accounts::logOut(const std::string& cookieHeader)
{
    std::lock_guard guard(m_mutex);
    auto session = sessionOfCookie(cookieHeader);
    auto live = session ? m_sessions.find(*session) : m_sessions.end();
    if (live == m_sessions.end())
        return false;
    endSession(live);
    return true;
}

std::string Accounts::issueLoginLink(const std::string& origin)
{
    std::lock_guard guard(m_mutex);
    auto link = origin + "/login/hash/" + LocalCloud::randomToken();
    appendLatest(m_loginLinks, link);
    return link;
}

ErrorLogMode Accounts::receiveErrorReport(ReceivedErrorReport report)
{
    ErrorLogMode mode;
    {
        std::lock_guard guard(m_mutex);
        // Anyone on the machine may post reports; a running service keeps only
        // so much of each, and a copy of that much, so that no buffer of the
        // whole report stays behind.
        // (Assigning a short text would keep the old buffer: a new string it is.)
        ReceivedErrorReport kept { report.publicRoute,
            std::string(report.body, 0, std::min(report.body.size(), maximumErrorReportBytes)),
            std::move(report.sessionUser) };
        if (!kept.sessionUser
            && std::ranges::count_if(m_errorReports, [](const auto& kept) { return !kept.sessionUser; })
                >= static_cast<std::ptrdiff_t>(maximumReportsWithoutSession))
            m_errorReports.erase(std::ranges::find_if(m_errorReports, [](const auto& kept) { return !kept.sessionUser; }));
        appendLatest(m_errorReports, std::move(kept));
        mode = m_errorLogMode;
    }
    m_reportsChanged.notify_all();
    return mode;
}

} // namespace LocalCloud
