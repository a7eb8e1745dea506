#pragma once

#include <atomic>

namespace Orvella {

// The crash manager of the crash-reporting stand-in: crash reports have no
// counterpart here, so it only keeps the two flags the application sets.
// Both start at the library's defaults (ask the user, do not send on its own).
class BITCrashManager {
public:
    void setAutoSubmitCrashReport(bool submit) { m_autoSubmitCrashReport = submit; }
    [[nodiscard]] bool autoSubmitCrashReport() const { return m_autoSubmitCrashReport; }
    void setAskUserDetails(bool ask) { m_askUserDetails = ask; }
    [[nodiscard]] bool askUserDetails() const { return m_askUserDetails; }

private:
    std::atomic<bool> m_autoSubmitCrashReport { false };
    std::atomic<bool> m_askUserDetails { true };
};

} // namespace Orvella
