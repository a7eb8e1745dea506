#pragma once

#include "Quarlink/Coding/JSONEncoder.hpp"
#include "Quarlink/Envelope/RequestErrorInfo.hpp"
#include "Quarlink/Reports/ReportConfiguration.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"
#include "Reactive/Result.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Quarlink {

// One error report to the service's error log: POST "log/error" for a user's
// account, "log/error/public" when no account is known, with the nine fields
// below as a JSON object (keys in snake case). The answer is not read. Never
// renews a session, and a failed report posts no failure record of its own,
// so a failing error log gets exactly one report per original failure.
// An immutable value.
struct APIErrorReportRequest {
    using SuccessValue = Reactive::Unit;
    static constexpr RequestTraits traits {
        .body = BodyKind::ownJSON,
        .reportsFailures = false,
        .overrides = { RequestMember::method },
    };

    // The only constructor; no account makes a public report with account "unbekannt".
    APIErrorReportRequest(const RequestErrorInfo& info, const ReportConfiguration& configuration,
        const std::optional<std::string>& account);

    // True when no account was given.
    const bool isPublic;
    // The configuration's component ("Cloud").
    const std::string component;
    // The system's name, one blank, its version.
    const std::string platform;
    // Always "MobileApps".
    const std::string facility;
    // The application's version.
    const std::string version;
    // The account, or "unbekannt".
    const std::string account;
    // The record's code.
    const std::int64_t code;
    // The record's whole text.
    const std::string message;
    // The report token, the same in every report.
    const std::string secret;

    [[nodiscard]] std::string path() const { return isPublic ? "log/error/public" : "log/error"; }
    [[nodiscard]] HTTPMethod method() const { return HTTPMethod::post; }
    // The nine fields in the order above, keys from their names.
    void encode(JSONObjectWriter& writer) const;
};

} // namespace Quarlink
