#include "LocalCloud/Accounts.hpp"

#include <iomanip>
#include <sstream>

namespace LocalCloud {

Accounts::Accounts()
    : m_random(std::random_device {}())
{
}

void Accounts::addUser(std::string login, std::string password, AccountLock lock)
{
    std::lock_guard guard(m_mutex);
    auto& user = m_users[std::move(login)];
    user.password = std::move(password);
    user.lock = lock;
    if (user.customerID == 0)
        user.customerID = m_nextCustomerID++;
}

void Accounts::setLock(const std::string& login, AccountLock lock)
{
    std::lock_guard guard(m_mutex);
    if (auto user = m_users.find(login); user != m_users.end())
        user->second.lock = lock;
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
    auto user = m_users.find(login);
    if (user != m_users.end()) {
        // A lock wins over the password, so a locked account never learns whether it was right.
        switch (user->second.lock) {
        case AccountLock::temporary: result.outcome = LoginOutcome::temporarilyLocked; break;
        case AccountLock::permanent: result.outcome = LoginOutcome::permanentlyLocked; break;
        case AccountLock::none:
            if (user->second.password == password) {
                result.outcome = LoginOutcome::succeeded;
                result.session = randomToken();
                result.customerID = user->second.customerID;
                m_sessions.emplace(result.session, login);
            }
            break;
        }
    }
    m_loginAttempts.push_back({ world, login, result.outcome == LoginOutcome::succeeded });
    return result;
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
