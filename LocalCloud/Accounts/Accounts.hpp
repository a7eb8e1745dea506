#pragma once

#include "LocalCloud/Accounts/LoginThrottle.hpp"
#include "LocalCloud/Storage/ServiceClock.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace LocalCloud {

// Whether an account may log in.
enum class AccountLock {
    // Logs in with the right password.
    none,
    // Refused with code 40330, whatever the password.
    temporary,
    // Refused with code 40322, whatever the password.
    permanent,
};

// How the two error-log routes answer.
enum class ErrorLogMode {
    // 200 with an empty JSON object; the report is kept.
    accepting,
    // 500 without the service's error headers; the report is still kept, so
    // tests can count every attempt.
    failing,
};

// One POST to "login" as the service read it.
struct LoginAttempt {
    std::string world;
    std::string login;
    // True when a session was opened.
    bool succeeded = false;
};

// One POST to "log/error" or "log/error/public".
struct ReceivedErrorReport {
    // True for "log/error/public".
    bool publicRoute = false;
    // The body exactly as received.
    std::string body;
    // The user of the session cookie that came along, if it named a live session.
    std::optional<std::string> sessionUser;
};

// What a request's session cookie stands for.
enum class SessionCheck {
    valid,
    // No "session" cookie.
    missing,
    // A cookie of a session that was expired, or that the service never issued.
    expired,
};

// How long a session lives.
struct SessionPolicy {
    // A session not used for this long has ended.
    std::chrono::seconds lifetime { 24 * 3600 };
    // Test control: a session ends after answering this many requests, so that
    // a client's silent renewal can be seen at work.
    std::optional<std::size_t> requestLimit {};
    // Sessions one account keeps at once; a login beyond it ends the account's oldest.
    std::size_t perAccount = 100;
};

// The users, sessions, login links and error log of the local service.
// Users live in the service's database, so that `localcloud add-user` can add
// one while the service runs; sessions live in memory only, in the cookie
// "session" that a successful login sets. A test can expire all of them, after
// which every route that needs a session answers 401 with code 3001 until the
// client logs in again.
//
// Every member may be called from any thread.
class Accounts {
public:
    // `clock`'s steady reading tells session ages and login delays.
    explicit Accounts(ServiceClock clock);

    // Keeps the users in the database `configuration` names; until then no one can log in.
    [[nodiscard]] std::expected<void, Platform::DatabaseError> attachDatabase(
        const Platform::DatabaseConfiguration& configuration);
    // The stored account of `login`, if there is one.
    [[nodiscard]] std::optional<AccountRecord> account(const std::string& login) const;

    // What the account is told about itself; made up from the login until set.
    [[nodiscard]] CustomerRecord customer(const std::string& login) const;
    // Test control: stores the customer data of `customer.login`.
    [[nodiscard]] bool setCustomer(const CustomerRecord& customer);
    // The login of the account with that customer number, or of the one that address belongs to.
    [[nodiscard]] std::optional<std::string> loginOfCustomer(std::int64_t customerID) const;
    [[nodiscard]] std::optional<std::string> loginOfAddress(const std::string& address) const;

    // Test controls.
    // Adds a user, or replaces the password and lock of an existing one (stored like
    // `localcloud add-user` stores it, with fewer hash iterations).
    void addUser(std::string login, std::string password, AccountLock lock = AccountLock::none,
        std::optional<std::int64_t> quotaBytes = std::nullopt);
    void setLock(const std::string& login, AccountLock lock);
    // Ends every session issued so far.
    void expireSessions();
    // Applies to sessions from now on.
    void setSessionPolicy(SessionPolicy policy);
    void setLoginLimits(LoginLimits limits);
    [[nodiscard]] std::size_t liveSessionCount() const;
    [[nodiscard]] std::vector<LoginAttempt> loginAttempts() const;
    void setErrorLogMode(ErrorLogMode mode);
    [[nodiscard]] std::vector<ReceivedErrorReport> errorReports() const;
    // The memory the kept reports' texts take (their buffers, not their lengths).
    [[nodiscard]] std::size_t errorReportBytesHeld() const;
    [[nodiscard]] bool waitForErrorReports(std::size_t count, std::chrono::milliseconds timeout) const;
    // Every login link handed out, in order.
    [[nodiscard]] std::vector<std::string> issuedLoginLinks() const;

    // Server side.
    enum class LoginOutcome { succeeded, wrongPassword, temporarilyLocked, permanentlyLocked };
    struct LoginResult {
        LoginOutcome outcome;
        // The new session's identifier, when it succeeded.
        std::string session;
        // The user's customer number, when it succeeded.
        std::int64_t customerID = 0;
    };
    // `client` is the address the attempt came from, for the throttle of failed logins.
    [[nodiscard]] LoginResult logIn(const std::string& world, const std::string& login, const std::string& password,
        const std::string& client = {});
    // The session named by a "Cookie" header's value ("a=b; session=…"); each
    // call is one use of the session, which keeps it alive.
    [[nodiscard]] SessionCheck checkSession(const std::string& cookieHeader);
    [[nodiscard]] std::optional<std::string> sessionUser(const std::string& cookieHeader);
    // The user of a live session, without counting as a use.
    [[nodiscard]] std::optional<std::string> sessionUserUnused(const std::string& cookieHeader) const;
    // Ends the session of the cookie; false when it named no live session.
    bool logOut(const std::string& cookieHeader);
    // Makes a new login link under `origin` and remembers it.
    [[nodiscard]] std::string issueLoginLink(const std::string& origin);
    // Keeps a received report, its first `maximumErrorReportBytes` only, and
    // the latest `maximumErrorReports` of them, of which at most
    // `maximumReportsWithoutSession` came without a session; returns how the route answers.
    [[nodiscard]] ErrorLogMode receiveErrorReport(ReceivedErrorReport report);
    // Also how many login attempts and login links are kept.
    static constexpr std::size_t maximumErrorReports = 1000;
    static constexpr std::size_t maximumErrorReportBytes = 64 * 1024;
    // Anyone on the machine may report without a session: they share this much.
    static constexpr std::size_t maximumReportsWithoutSession = 64;

private:
    // A password that matched the stored hash: checked again only when the stored hash changes.
    struct VerifiedPassword {
        std::string storedHash;
        std::string passwordDigest;
    };
    struct Session {
        std::string login;
        std::chrono::steady_clock::time_point lastUse;
        std::size_t requests = 0;
        // Order of issue, over all accounts.
        std::uint64_t sequence = 0;
    };
    using Sessions = std::map<std::string, Session>;

    // The "session" cookie of a "Cookie" header, if there is one.
    [[nodiscard]] static std::optional<std::string> sessionOfCookie(const std::string& cookieHeader);
    // What the cookie stands for, with its user when live; `use` counts the
    // request and ends a session that has run out. Needs `m_mutex`.
    [[nodiscard]] std::pair<SessionCheck, std::string> userOfCookie(const std::string& cookieHeader, bool use);
    [[nodiscard]] bool sessionRanOut(const Session& session, std::chrono::steady_clock::time_point now) const;
    // Opens a session of `login`, ending those that ran out and the
    // account's oldest beyond its bound. Needs `m_mutex`.
    [[nodiscard]] std::string openSession(const std::string& login, std::chrono::steady_clock::time_point now);
    void endSession(Sessions::iterator session);
    void useSession(Sessions::iterator session, std::chrono::steady_clock::time_point now);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_reportsChanged;
    mutable std::optional<Platform::Database> m_database;
    std::map<std::string, AccountLock> m_locks;
    std::map<std::string, VerifiedPassword> m_verified;
    // Live sessions by identifier, with two indexes so that no login looks
    // at every session: each account's by age, and all by their last use.
    Sessions m_sessions;
    std::map<std::string, std::map<std::uint64_t, std::string>> m_sessionsOfAccount;
    std::set<std::pair<std::chrono::steady_clock::time_point, std::string>> m_sessionsByUse;
    std::uint64_t m_nextSessionSequence = 0;
    SessionPolicy m_sessionPolicy;
    LoginThrottle m_throttle;
    ServiceClock m_clock;
    // What checking a login costs when no account has that name: what the
    // accounts cost, so that the answer's time does not tell whether one exists.
    std::int64_t m_unknownLoginIterations;
    std::vector<LoginAttempt> m_loginAttempts;
    std::vector<ReceivedErrorReport> m_errorReports;
    std::vector<std::string> m_loginLinks;
    ErrorLogMode m_errorLogMode = ErrorLogMode::accepting;
};

// The name of the cookie that carries the session.
inline constexpr const char* sessionCookieName = "session";

} // namespace LocalCloud
