#include "Quarlink/Reports/APIErrorReportRequest.hpp"

namespace Quarlink {

namespace {

// The token the error log expects with every report.
constexpr const char* reportSecret = "Kiweroxufa4TalP8emoquisevanorUde";

} // namespace

APIErrorReportRequest::APIErrorReportRequest(const RequestErrorInfo& info, const ReportConfiguration& configuration,
    const std::optional<std::string>& account)
    : isPublic(!account.has_value())
    , component(rawValue(configuration.component))
    , platform(configuration.systemName + " " + configuration.systemVersion)
    , facility("MobileApps")
    , version(configuration.appVersion)
    , account(account.value_or("unbekannt"))
    , code(info.errorCode)
    , message(info.errorDesciption)
    , secret(reportSecret)
{
}

void APIErrorReportRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("isPublic", isPublic);
    writer.encode("component", component);
    writer.encode("platform", platform);
    writer.encode("facility", facility);
    writer.encode("version", version);
    writer.encode("account", account);
    writer.encode("code", code);
    writer.encode("message", message);
    writer.encode("secret", secret);
}

} // namespace Quarlink
