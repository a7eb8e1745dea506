#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Quarlink {

// The product part a report is filed under. Never renumber or reuse the raw values.
enum class ReportComponent {
    cloud,
    mail,
    tests,
};

// "Cloud", "Mail" or "Tests".
[[nodiscard]] std::string_view rawValue(ReportComponent component);
// The component whose raw value is exactly `text`; nothing otherwise.
[[nodiscard]] std::optional<ReportComponent> reportComponentFromRawValue(std::string_view text);

// The facts attached to every error report. A plain value; every field may be
// changed after construction.
struct ReportConfiguration {
    // Read afresh at each construction: the system's name and version, the
    // application's short version ("unbekannt" when the application registered
    // none, or registered one that is no string), and `cloud`.
    ReportConfiguration();

    // The operating system's name.
    std::string systemName;
    // The operating system's version.
    std::string systemVersion;
    // The running application's short version.
    std::string appVersion;
    // The product part.
    ReportComponent component = ReportComponent::cloud;
};

} // namespace Quarlink
