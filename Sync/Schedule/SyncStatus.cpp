#include "Sync/Schedule/SyncStatus.hpp"

#include <ctime>
#include <iomanip>
#include <locale>
#include <ostream>
#include <sstream>

namespace Sync {

namespace {

// The environment's locale; the classic one when the environment names one
// that is not installed.
std::locale currentLocale()
{
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::string localDescription(Platform::Date date)
{
    const auto seconds = static_cast<std::time_t>(date.wholeSecondsSince1970());
    std::tm local {};
    ::localtime_r(&seconds, &local);
    std::ostringstream text;
    text.imbue(currentLocale());
    text << std::put_time(&local, "%c");
    return text.str();
}

}

std::optional<Platform::Date> SyncStatus::lastSyncDate() const
{
    if (m_kind != Kind::allInSync) {
        return std::nullopt;
    }
    return m_date;
}

std::string SyncStatus::description() const
{
    switch (m_kind) {
    case Kind::allInSync: return "Up to date. Last checked: " + localDescription(m_date);
    case Kind::disabled: return "Waiting for Sync";
    case Kind::notReachable: return "Can't reach Server";
    case Kind::checking: return "Checking for changes";
    case Kind::syncing: return "Syncing";
    case Kind::failed: return "Sync failed";
    }
    return {};
}

std::ostream& operator<<(std::ostream& stream, const SyncStatus& status)
{
    return stream << status.description();
}

} // namespace Sync
