#include "LocalCloud/LoginThrottle.hpp"

#include <algorithm>

namespace LocalCloud {

LoginThrottle::LoginThrottle(LoginLimits limits)
    : m_limits(limits)
{
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
    return waiting(m_accounts, account, m_limits.accountFailures, now)
        || waiting(m_clients, client, m_limits.clientFailures, now);
}

void LoginThrottle::forgetOld(std::map<std::string, Failures>& table, Clock::time_point now)
{
    // A key quiet for the longest delay starts afresh; this also keeps the
    // tables from growing with every name a guesser makes up.
    std::erase_if(table, [&](const auto& entry) { return now - entry.second.last > m_limits.longestDelay; });
}

void LoginThrottle::failed(const std::string& account, const std::string& client, Clock::time_point now)
{
    forgetOld(m_accounts, now);
    forgetOld(m_clients, now);
    for (auto* failures : { &m_accounts[account], &m_clients[client] }) {
        ++failures->count;
        failures->last = now;
    }
}

void LoginThrottle::succeeded(const std::string& account, const std::string& client)
{
    m_accounts.erase(account);
    m_clients.erase(client);
}

} // namespace LocalCloud
