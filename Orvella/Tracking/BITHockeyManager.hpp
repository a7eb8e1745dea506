#pragma once

#include "Orvella/Tracking/BITMetricsManager.hpp"

#include <memory>
#include <string>

namespace Orvella {

// The crash-reporting manager of the composition root. Crash reports have no
// counterpart here: the manager keeps its flags and only logs; metrics go to
// the local usage log.
class BITHockeyManager {
public:
    explicit BITHockeyManager(std::shared_ptr<BITMetricsManager> metricsManager) : m_metricsManager(std::move(metricsManager)) {}

    void configureWithIdentifier(std::string identifier);
    void startManager();

    [[nodiscard]] bool isCrashManagerDisabled() const { return m_crashManagerDisabled; }
    void setDisableCrashManager(bool disabled) { m_crashManagerDisabled = disabled; }
    [[nodiscard]] bool isMetricsManagerDisabled() const { return m_metricsManagerDisabled; }
    void setDisableMetricsManager(bool disabled) { m_metricsManagerDisabled = disabled; }
    [[nodiscard]] bool isStarted() const { return m_started; }
    [[nodiscard]] const std::string& identifier() const { return m_identifier; }

    // Null while metrics are disabled.
    [[nodiscard]] std::shared_ptr<BITMetricsManager> metricsManager() const
    {
        return m_metricsManagerDisabled ? nullptr : m_metricsManager;
    }

private:
    std::shared_ptr<BITMetricsManager> m_metricsManager;
    std::string m_identifier;
    bool m_crashManagerDisabled = false;
    bool m_metricsManagerDisabled = false;
    bool m_started = false;
};

} // namespace Orvella
