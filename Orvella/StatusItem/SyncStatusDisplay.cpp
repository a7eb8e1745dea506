#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

namespace Orvella {

namespace {

struct Display {
    const char* statusItemIcon;
    const char* popoverIcon;
    const char* statusText;
    const char* actionText;
    bool isActionAvailable;
};

// The status text says Synchronisierung, the command titles Synchronisation.
const Display& displayOf(const Sync::SyncStatus& status)
{
    static const Display upToDate { "statusitem-uptodate", "status-uptodate", "Daten sind aktuell", "Synchronisation anhalten", true };
    static const Display disabled { "statusitem-pause", "status-paused", "Synchronisierung angehalten", "Synchronisation starten", true };
    static const Display notReachable { "statusitem-error", "status-error", "Internetverbindung nicht verfügbar",
        "Synchronisation nicht verfügbar", false };
    // The pause command stays: the retries of the failed run go on meanwhile.
    static const Display failed { "statusitem-error", "status-error", "Synchronisieren fehlgeschlagen", "Synchronisation anhalten", true };
    static const Display syncing { "statusitem-syncing", "status-sync", "Daten werden aktualisiert…", "Synchronisation anhalten", true };
    switch (status.kind()) {
    case Sync::SyncStatus::Kind::allInSync:
    case Sync::SyncStatus::Kind::checking:
        return upToDate;
    case Sync::SyncStatus::Kind::disabled:
        return disabled;
    case Sync::SyncStatus::Kind::notReachable:
        return notReachable;
    case Sync::SyncStatus::Kind::syncing:
        return syncing;
    case Sync::SyncStatus::Kind::failed:
        return failed;
    }
    return upToDate;
}

} // namespace

std::string statusItemIcon(const Sync::SyncStatus& status) { return displayOf(status).statusItemIcon; }
std::string popoverIcon(const Sync::SyncStatus& status) { return displayOf(status).popoverIcon; }
std::string statusText(const Sync::SyncStatus& status) { return displayOf(status).statusText; }
std::string actionText(const Sync::SyncStatus& status) { return displayOf(status).actionText; }
bool isActionAvailable(const Sync::SyncStatus& status) { return displayOf(status).isActionAvailable; }

SyncCommand syncCommand(const Sync::SyncStatus& status, bool loggedIn)
{
    if (!loggedIn)
        return { .title = "Anmelden …", .available = true, .enablesSync = false, .opensLogin = true };
    return { .title = actionText(status),
        .available = isActionAvailable(status),
        .enablesSync = status.kind() == Sync::SyncStatus::Kind::disabled };
}

} // namespace Orvella
