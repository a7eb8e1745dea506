#include "Quarlink/Identity/UserAgent.hpp"

#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/SystemInfo.hpp"

#include <charconv>

namespace Quarlink {

namespace {

std::string oneDecimal(double value)
{
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (error != std::errc())
        return "1.0";
    return std::string(buffer, end);
}

// The machine's facts, read once: every request carries them, and reading two
// files per request cost more than building the rest of it.
struct MachineFacts {
    std::string model = SystemInfo::machineModel();
    std::string systemVersion = SystemInfo::systemVersion();
};

const MachineFacts& machineFacts()
{
    static const MachineFacts facts;
    return facts;
}

} // namespace

UserAgent UserAgent::current()
{
    Details details;
    auto name = ApplicationInfo::string(ApplicationInfo::executableKey);
    if (!name)
        name = ApplicationInfo::string(ApplicationInfo::identifierKey);
    details.appName = name.value_or("Quarlink");
    details.appVersion = ApplicationInfo::string(ApplicationInfo::shortVersionKey).value_or("1.0");
    details.model = machineFacts().model;
    details.systemVersion = machineFacts().systemVersion;
    details.scale = ApplicationInfo::screenScale().value_or(1.0);
    return UserAgent(Kind::linuxDesktop, std::move(details));
}

std::string UserAgent::stringValue() const
{
    const char* systemLabel = "; iOS ";
    const char* scaleLabel = "; Scale ";
    switch (m_kind) {
    case Kind::ios:
    case Kind::tvos:
        break;
    case Kind::watchos:
        systemLabel = "; watchOS ";
        break;
    case Kind::linuxDesktop:
        systemLabel = "; Linux ";
        scaleLabel = "; Scale: ";
        break;
    }
    return m_details.appName + "/" + m_details.appVersion + " (" + m_details.model + systemLabel
        + m_details.systemVersion + scaleLabel + oneDecimal(m_details.scale) + ")";
}

} // namespace Quarlink
