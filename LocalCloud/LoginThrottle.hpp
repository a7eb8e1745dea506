#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace LocalCloud {

// How many wrong passwords a login name and a client may try before they wait.
struct LoginLimits {
    // Failures in a row an account takes without waiting.
    std::size_t accountFailures = 5;
    // Failures in a row one client address takes, over every account it tries.
    std::size_t clientFailures = 20;
    // The wait after the last free failure; it doubles with every further one.
    std::chrono::seconds firstDelay { 60 };
    std::chrono::seconds longestDelay { 3600 };
};

// Counts failed logins per account and per client address. Once either has
// used its free failures, further attempts are refused unchecked until the
// growing delay since its last failure has passed, so a guesser gets a few
// tries a minute at first and fewer and fewer after. A success clears both.
// Not thread-safe: its owner holds the lock.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginThrottle(LoginLimits limits = {});

    // True while either the account or the client has to wait.
    [[nodiscard]] bool mustWait(const std::string& account, const std::string& client, Clock::time_point now) const;
    void failed(const std::string& account, const std::string& client, Clock::time_point now);
    void succeeded(const std::string& account, const std::string& client);

private:
    struct Failures {
        std::size_t count = 0;
        Clock::time_point last {};
    };
    [[nodiscard]] bool waiting(const std::map<std::string, Failures>& table, const std::string& key,
        std::size_t free, Clock::time_point now) const;
    void forgetOld(std::map<std::string, Failures>& table, Clock::time_point now);

    LoginLimits m_limits;
    std::map<std::string, Failures> m_accounts;
    std::map<std::string, Failures> m_clients;
};

} // namespace LocalCloud
