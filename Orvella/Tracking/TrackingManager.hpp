#pragma once

// Orvella/Tracking: usage events, written to a local log only while the user
// allows usage tracking, and the crash-reporting stand-in they go through.

#include <string_view>

namespace Orvella {

// Usage events; their names are written to the usage log: never rename.
enum class TrackingEvent {
    appStart,
    appInstall,
    appLogin,
    errDBLost,
};

// "APP_START", "APP_INSTALL", "APP_LOGIN", "ERROR_DB_LOST".
[[nodiscard]] std::string_view eventName(TrackingEvent event);

class TrackingManager {
public:
    virtual ~TrackingManager() = default;
    // "APP_INSTALL" first while the installation was not tracked (which is
    // then marked tracked, sent or not), then "APP_START".
    virtual void trackAppStart() = 0;
    virtual void trackLogin() = 0;
    virtual void trackDatabaseLost() = 0;
};

} // namespace Orvella
