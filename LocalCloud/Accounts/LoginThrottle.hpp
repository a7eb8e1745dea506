#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace LocalCloud {

// How many wrong passwords a client may try before it waits.
struct LoginLimits {
    // Failures in a row one client takes on one account without waiting.
    std::size_t accountFailures = 5;
    // Failures in a row one client takes, over every account it tries.
    std::size_t clientFailures = 20;
    // The wait after the last free failure; it doubles with every further one.
    std::chrono::seconds firstDelay { 60 };
    std::chrono::seconds longestDelay { 3600 };
};

// Counts failed logins per client and account and per client. Once either has
// used its free failures, further attempts of that client are refused
// unchecked until the growing delay since its last failure has passed, so a
// guesser gets a few tries a minute at first and fewer and fewer after. Failures
// are never counted against an account alone: a guesser elsewhere cannot lock
// out a client that has not failed. A success clears the client's counts.
//
// A client is its address, except that the whole loopback range counts as
// one client and an IPv6 address as its /64 network, so that a guesser does
// not get fresh tries by changing the address it sends from.
// Not thread-safe: its owner holds the lock.
class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit LoginThrottle(LoginLimits limits = {});

    // True while the client has to wait, for this account or for every account.
    [[nodiscard]] bool mustWait(const std::string& account, const std::string& client, Clock::time_point now) const;
    void failed(const std::string& account, const std::string& client, Clock::time_point now);
    void succeeded(const std::string& account, const std::string& client);

    // The client an address belongs to: "loopback" for 127.0.0.0/8 and ::1
    // (also written as IPv4 in IPv6), the /64 network for other IPv6 addresses.
    [[nodiscard]] static std::string clientOf(const std::string& address);

private:
    struct Failures {
        std::size_t count = 0;
        Clock::time_point last {};
    };
    [[nodiscard]] bool waiting(const std::map<std::string, Failures>& table, const std::string& key,
        std::size_t free, Clock::time_point now) const;
    void forgetOld(std::map<std::string, Failures>& table, Clock::time_point now);
    [[nodiscard]] static std::string pairKey(const std::string& account, const std::string& client);

    LoginLimits m_limits;
    // By client and account.
    std::map<std::string, Failures> m_pairs;
    std::map<std::string, Failures> m_clients;
};

} // namespace LocalCloud
