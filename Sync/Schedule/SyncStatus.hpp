#pragma once

#include "Platform/Foundation/Date.hpp"

#include <iosfwd>
#include <optional>
#include <string>

namespace Sync {

// The scheduler's one-value summary of the engine's state. A plain value.
class SyncStatus {
public:
    enum class Kind {
        allInSync,    // enabled, reachable, no run in progress; carries when that was last found
        disabled,     // sync is switched off
        notReachable, // sync is on but the server cannot be reached
        checking,     // a run has started and has produced no event yet
        syncing,      // a run is producing events
        failed,       // enabled, reachable, no run in progress, and the last run failed (error events, or no service)
    };

    [[nodiscard]] static SyncStatus allInSync(Platform::Date date) { return SyncStatus(Kind::allInSync, date); }
    [[nodiscard]] static SyncStatus disabled() { return SyncStatus(Kind::disabled, {}); }
    [[nodiscard]] static SyncStatus notReachable() { return SyncStatus(Kind::notReachable, {}); }
    [[nodiscard]] static SyncStatus checking() { return SyncStatus(Kind::checking, {}); }
    [[nodiscard]] static SyncStatus syncing() { return SyncStatus(Kind::syncing, {}); }
    [[nodiscard]] static SyncStatus failed() { return SyncStatus(Kind::failed, {}); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The date of `allInSync`; nothing for every other case.
    [[nodiscard]] std::optional<Platform::Date> lastSyncDate() const;
    // True for `allInSync` and `disabled`.
    [[nodiscard]] bool isIdle() const { return m_kind == Kind::allInSync || m_kind == Kind::disabled; }
    // True for `syncing` only, not for `checking`.
    [[nodiscard]] bool isSyncing() const { return m_kind == Kind::syncing; }

    // The text shown to the user. `allInSync` gives "Up to date. Last
    // checked: " and the date, in local time, as the process's locale
    // (LC_TIME of the environment) writes a date and time.
    [[nodiscard]] std::string description() const;

    // Equal when the cases are; two `allInSync` values also need equal dates.
    friend bool operator==(const SyncStatus&, const SyncStatus&) = default;

private:
    SyncStatus(Kind kind, Platform::Date date) : m_kind(kind), m_date(date) {}

    Kind m_kind;
    Platform::Date m_date; // Only meaningful for `allInSync`; the epoch otherwise.
};

// Writes `description()`, for logs and test messages.
std::ostream& operator<<(std::ostream& stream, const SyncStatus& status);

} // namespace Sync
