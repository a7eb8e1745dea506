#include "Orvella/Popover/TestSupport/PopoverFakes.hpp"
#include "Orvella/StatusItem/SchedulerSyncStatusProvider.hpp"
#include "Orvella/StatusItem/StatusItemViewModel.hpp"
#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

#include <gtest/gtest.h>

#include <any>

using namespace Orvella;
using Orvella::Testing::FakeSyncStatusProvider;
using Sync::SyncStatus;

namespace {

class RecordingStatusItemNavigator final : public StatusItemNavigator {
public:
    std::vector<std::any> senders;
    void togglePopover(const std::any& sender) override { senders.push_back(sender); }
};

} // namespace

// Each state's images, texts and command, as the tray icon and the popover
// show them; all in sync looks the same whatever its date, checking like all in sync.
TEST(SyncStatusDisplayTests, tableForEveryStatus)
{
    struct Row {
        SyncStatus status;
        const char* trayIcon;
        const char* popoverIcon;
        const char* text;
        const char* action;
        bool available;
    };
    const Row rows[] = {
        { SyncStatus::allInSync({}), "statusitem-uptodate", "status-uptodate", "Daten sind aktuell", "Synchronisation anhalten", true },
        { SyncStatus::allInSync(Platform::Date::fromWholeSecondsSince1970(1'765'000'000)), "statusitem-uptodate", "status-uptodate",
            "Daten sind aktuell", "Synchronisation anhalten", true },
        { SyncStatus::disabled(), "statusitem-pause", "status-paused", "Synchronisierung angehalten", "Synchronisation starten", true },
        { SyncStatus::notReachable(), "statusitem-error", "status-error", "Internetverbindung nicht verfügbar",
            "Synchronisation nicht verfügbar", false },
        { SyncStatus::checking(), "statusitem-uptodate", "status-uptodate", "Daten sind aktuell", "Synchronisation anhalten", true },
        { SyncStatus::syncing(), "statusitem-syncing", "status-sync", "Daten werden aktualisiert…", "Synchronisation anhalten", true },
        { SyncStatus::failed(), "statusitem-error", "status-error", "Synchronisieren fehlgeschlagen", "Synchronisation anhalten", true },
    };
    for (const auto& row : rows) {
        EXPECT_EQ(statusItemIcon(row.status), row.trayIcon) << row.status;
        EXPECT_EQ(popoverIcon(row.status), row.popoverIcon) << row.status;
        EXPECT_EQ(statusText(row.status), row.text) << row.status;
        EXPECT_EQ(actionText(row.status), row.action) << row.status;
        EXPECT_EQ(isActionAvailable(row.status), row.available) << row.status;
    }
}

// The first icon and tool tip are the current status's, before any change; then they follow.
TEST(StatusItemViewModelTests, iconAndToolTipFollowTheStatusFromTheFirstValue)
{
    auto provider = std::make_shared<FakeSyncStatusProvider>(SyncStatus::disabled());
    StatusItemViewModel viewModel(provider, std::make_shared<RecordingStatusItemNavigator>());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-pause");
    EXPECT_EQ(viewModel.toolTip().value(), "Synchronisierung angehalten");
    provider->current.set(SyncStatus::notReachable());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-error");
    EXPECT_EQ(viewModel.toolTip().value(), "Internetverbindung nicht verfügbar");
    provider->current.set(SyncStatus::checking());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-uptodate");
    EXPECT_EQ(viewModel.toolTip().value(), "Daten sind aktuell");
    provider->current.set(SyncStatus::syncing());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-syncing");
    EXPECT_EQ(viewModel.toolTip().value(), "Daten werden aktualisiert…");
    provider->current.set(SyncStatus::failed());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-error");
    EXPECT_EQ(viewModel.toolTip().value(), "Synchronisieren fehlgeschlagen");
}

// Two clicks toggle twice, each handing over the clicked item itself.
TEST(StatusItemViewModelTests, eachClickHandsTheSenderToTheNavigator)
{
    auto navigator = std::make_shared<RecordingStatusItemNavigator>();
    StatusItemViewModel viewModel(std::make_shared<FakeSyncStatusProvider>(), navigator);
    int item = 0;
    viewModel.statusItemClickAction().apply(std::any(&item)).start();
    viewModel.statusItemClickAction().apply(std::any(&item)).start();
    ASSERT_EQ(navigator->senders.size(), 2u);
    EXPECT_EQ(std::any_cast<int*>(navigator->senders[0]), &item);
    EXPECT_EQ(std::any_cast<int*>(navigator->senders[1]), &item);
}

// Logged out, nothing syncs whatever the scheduler says: the icon and tool tip
// say that nobody is logged in, not that the user paused; logged in again they
// follow the status.
TEST(StatusItemViewModelTests, loggedOutSaysNobodyIsLoggedIn)
{
    auto provider = std::make_shared<FakeSyncStatusProvider>(SyncStatus::disabled());
    Reactive::MutableProperty<bool> loggedIn(false);
    StatusItemViewModel viewModel(provider, std::make_shared<RecordingStatusItemNavigator>(), loggedIn);
    EXPECT_EQ(viewModel.icon().value(), "statusitem-loggedout");
    EXPECT_EQ(viewModel.toolTip().value(), "Nicht angemeldet");
    provider->current.set(SyncStatus::notReachable());
    EXPECT_EQ(viewModel.toolTip().value(), "Nicht angemeldet");
    loggedIn.set(true);
    EXPECT_EQ(viewModel.icon().value(), "statusitem-error");
    EXPECT_EQ(viewModel.toolTip().value(), "Internetverbindung nicht verfügbar");
    provider->current.set(SyncStatus::disabled());
    EXPECT_EQ(viewModel.icon().value(), "statusitem-pause");
    EXPECT_EQ(viewModel.toolTip().value(), "Synchronisierung angehalten");
    loggedIn.set(false);
    EXPECT_EQ(viewModel.icon().value(), "statusitem-loggedout");
    EXPECT_EQ(viewModel.toolTip().value(), "Nicht angemeldet");
}

// Each step of the pause or start command carries out what its title says.
TEST(SyncStatusDisplayTests, commandTitleAndActionComeFromOneState)
{
    EXPECT_EQ(syncCommand(SyncStatus::disabled(), true), (SyncCommand { "Synchronisation starten", true, true, false }));
    EXPECT_EQ(syncCommand(SyncStatus::syncing(), true), (SyncCommand { "Synchronisation anhalten", true, false, false }));
    EXPECT_EQ(syncCommand(SyncStatus::allInSync({}), true), (SyncCommand { "Synchronisation anhalten", true, false, false }));
    EXPECT_EQ(syncCommand(SyncStatus::notReachable(), true), (SyncCommand { "Synchronisation nicht verfügbar", false, false, false }));
    EXPECT_EQ(syncCommand(SyncStatus::disabled(), false), (SyncCommand { "Anmelden …", true, false, true }));
    EXPECT_EQ(syncCommand(SyncStatus::syncing(), false), (SyncCommand { "Anmelden …", true, false, true }));
}
