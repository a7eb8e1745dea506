#include "Quarlink/Reports/ReportConfiguration.hpp"

#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/SystemInfo.hpp"

namespace Quarlink {

std::string_view rawValue(ReportComponent component)
{
    switch (component) {
    case ReportComponent::cloud: return "Cloud";
    case ReportComponent::mail: return "Mail";
    case ReportComponent::tests: return "Tests";
    }
    return "Cloud";
}

std::optional<ReportComponent> reportComponentFromRawValue(std::string_view text)
{
    for (auto component : { ReportComponent::cloud, ReportComponent::mail, ReportComponent::tests }) {
        if (rawValue(component) == text)
            return component;
    }
    return std::nullopt;
}

ReportConfiguration::ReportConfiguration()
    : systemName(SystemInfo::systemName)
    , systemVersion(SystemInfo::systemVersion())
    , appVersion(ApplicationInfo::string(ApplicationInfo::shortVersionKey).value_or("unbekannt"))
{
}

} // namespace Quarlink
