#include "Orvella/Tracking/TrackingManager.hpp"

namespace Orvella {

std::string_view eventName(TrackingEvent event)
{
    switch (event) {
    case TrackingEvent::appStart:
        return "APP_START";
    case TrackingEvent::appInstall:
        return "APP_INSTALL";
    case TrackingEvent::appLogin:
        return "APP_LOGIN";
    case TrackingEvent::errDBLost:
        return "ERROR_DB_LOST";
    }
    return {};
}

} // namespace Orvella
