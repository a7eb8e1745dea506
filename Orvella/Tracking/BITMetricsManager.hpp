#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace Orvella {

// The metrics of the crash-reporting stand-in: each event becomes one JSON
// line in a local usage log (0600, folder 0700); nothing leaves the machine.
class BITMetricsManager {
public:
    explicit BITMetricsManager(std::filesystem::path logFile) : m_logFile(std::move(logFile)) {}

    // `$XDG_STATE_HOME/<applicationIdentifier>/usage.log` (`~/.local/state` when unset).
    [[nodiscard]] static std::filesystem::path defaultLogFile(std::string_view applicationIdentifier);

    // Appends {"event": name, "time": seconds since 1970}; a failure is logged.
    void trackEventWithName(std::string_view name);

    [[nodiscard]] const std::filesystem::path& logFile() const { return m_logFile; }

private:
    std::filesystem::path m_logFile;
};

} // namespace Orvella
