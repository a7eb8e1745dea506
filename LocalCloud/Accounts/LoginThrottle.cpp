#include "LocalCloud/Accounts/LoginThrottle.hpp"

#include <algorithm>
#include <array>

#include <arpa/inet.h>

namespace LocalCloud {

LoginThrottle::LoginThrottle(LoginLimits limits)
    : m_limits(limits)
{
}

std::string LoginThrottle::clientOf(const std::string& address)
{
    in_addr inet {};
    if (::inet_pton(AF_INET, address.c_str(), &inet) == 1)
        return (ntohl(inet.s_addr) >> 24) == 127 ? std::string("loopback") : address;
    in6_addr inet6 {};
    if (::inet_pton(AF_INET6, address.c_str(), &inet6) != 1)
        return address;
    const auto* bytes = inet6.s6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&inet6) || (IN6_IS_ADDR_V4MAPPED(&inet6) && bytes[12] == 127))
        return "loopback";
    if (IN6_IS_ADDR_V4MAPPED(&inet6)) {
        std::array<char, INET_ADDRSTRLEN> text {};
        ::inet_ntop(AF_INET, bytes + 12, text.data(), text.size());
        return text.data();
    }
    // Whoever has one address of a network usually has all of it.
    std::fill(inet6.s6_addr + 8, inet6.s6_addr + 16, 0);
    std::array<char, INET6_ADDRSTRLEN> text {};
    ::inet_ntop(AF_INET6, &inet6, text.data(), text.size());
    return std::string(text.data()) + "/64";
}

std::string LoginThrottle::pairKey(const std::string& account, const std::string& client)
{
    // No address holds a line break, so the pair reads back unambiguously.
    return clientOf(client) + "\n" + account;
}

bool LoginThrottle::waiting(const std::map<std::string, Failures>& table, const std::string& key, std::size_t free,
    Clock::time_point now) const
{
    auto found = table.find(key);
    if (found == table.end() || found->second.count < free)
        return false;
    // Doubling from the first delay; the shift stays small enough not to overflow.
    auto beyond = std::min<std::size_t>(found->second.count - free, 20);
    auto delay = std::min<Clock::duration>(m_limits.firstDelay * (std::int64_t { 1 } << beyond), m_limits.longestDelay);
    return now < found->second.last + delay;
}

bool LoginThrottle::mustWait(const std::string& account, const std::string& client, Clock::time_point now) const
{
    return waiting(m_pairs, pairKey(account, client), m_limits.accountFailures, now)
        || waiting(m_clients, clientOf(client), m_limits.clientFailures, now);
}

void LoginThrottle::forgetOld(std::map<std::string, Failures>& table, Clock::time_point now)
{
    // A key quiet for the longest delay starts afresh; this also keeps the
    // tables from growing with every name a guesser makes up.
    std::erase_if(table, [&](const auto& entry) { return now - entry.second.last > m_limits.longestDelay; });
}

void LoginThrottle::failed(const std::string& account, const std::string& client, Clock::time_point now)
{
    forgetOld(m_pairs, now);
    forgetOld(m_clients, now);
    for (auto* failures : { &m_pairs[pairKey(account, client)], &m_clients[clientOf(client)] }) {
        ++failures->count;
        failures->last = now;
    }
}

void LoginThrottle::succeeded(const std::string& account, const std::string& client)
{
    m_pairs.erase(pairKey(account, client));
    m_clients.erase(clientOf(client));
}

} // namespace LocalCloud
