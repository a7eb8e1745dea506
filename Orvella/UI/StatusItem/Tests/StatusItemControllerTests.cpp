#include "Orvella/Popover/TestSupport/PopoverFakes.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/StatusItem/StatusItemController.hpp"
#include "Orvella/UI/StatusItem/StatusItemMenu.hpp"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <thread>

using namespace Orvella;
using Orvella::Testing::FakeSyncEnabler;
using Orvella::Testing::FakeSyncStatusProvider;
using Orvella::Testing::processEventsUntil;

namespace {

class RecordingNavigator final : public StatusItemNavigator {
public:
    std::vector<std::any> senders;
    void togglePopover(const std::any& sender) override { senders.push_back(sender); }
};

struct Fixture {
    std::shared_ptr<FakeSyncStatusProvider> status = std::make_shared<FakeSyncStatusProvider>(Sync::SyncStatus::checking());
    std::shared_ptr<RecordingNavigator> navigator = std::make_shared<RecordingNavigator>();
    std::shared_ptr<const IconFactory> icons = std::make_shared<IconFactory>(QStringList {});
    StatusItemController controller { std::make_shared<StatusItemViewModel>(status, navigator), icons };
};

bool sameImage(const QIcon& icon, const QImage& image)
{
    return icon.pixmap(image.size()).toImage().convertToFormat(QImage::Format_ARGB32) == image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

// The first image and tool tip are the current status's; a change made on
// another thread reaches them only through the GUI thread's event loop.
TEST(StatusItemControllerTests, iconAndToolTipFollowStatusOnTheGuiThread)
{
    Fixture fixture;
    EXPECT_EQ(fixture.controller.iconName(), "statusitem-uptodate");
    EXPECT_TRUE(sameImage(fixture.controller.statusItem().icon(), fixture.icons->image("statusitem-uptodate", 32)));
    EXPECT_EQ(fixture.controller.statusItem().toolTip(), QStringLiteral("Daten sind aktuell"));
    ASSERT_NE(fixture.controller.fallbackWindow(), nullptr);
    EXPECT_EQ(fixture.controller.fallbackWindow()->toolTip(), QStringLiteral("Daten sind aktuell"));
    EXPECT_EQ(fixture.controller.fallbackWindow()->windowTitle(), QStringLiteral("Status \u2013 Daten sind aktuell"));

    std::thread worker([&] { fixture.status->current.set(Sync::SyncStatus::syncing()); });
    worker.join();
    EXPECT_EQ(fixture.controller.iconName(), "statusitem-uptodate") << "the icon was touched off the GUI thread";
    EXPECT_EQ(fixture.controller.statusItem().toolTip(), QStringLiteral("Daten sind aktuell")) << "touched off the GUI thread";
    ASSERT_TRUE(processEventsUntil([&] { return fixture.controller.iconName() == "statusitem-syncing"; }));
    EXPECT_TRUE(sameImage(fixture.controller.statusItem().icon(), fixture.icons->image("statusitem-syncing", 32)));
    ASSERT_TRUE(processEventsUntil([&] { return fixture.controller.statusItem().toolTip() == QStringLiteral("Daten werden aktualisiert…"); }));
    EXPECT_EQ(fixture.controller.fallbackWindow()->toolTip(), QStringLiteral("Daten werden aktualisiert…"));
}

// Without a tray (off-screen) the window at the top right takes the click,
// once enabled; the click hands the controller itself, as anchor, to the navigator.
TEST(StatusItemControllerTests, fallbackWindowTakesTheClickOnceEnabled)
{
    Fixture fixture;
    auto* window = fixture.controller.fallbackWindow();
    ASSERT_NE(window, nullptr);
    fixture.controller.click();
    EXPECT_TRUE(fixture.navigator->senders.empty());

    fixture.controller.enable();
    EXPECT_TRUE(window->isVisible());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    QCoreApplication::sendEvent(window, &release);
    Q_EMIT fixture.controller.statusItem().activated(QSystemTrayIcon::Trigger);
    Q_EMIT fixture.controller.statusItem().activated(QSystemTrayIcon::Context);
    ASSERT_EQ(fixture.navigator->senders.size(), 2u);
    for (const auto& sender : fixture.navigator->senders) {
        EXPECT_EQ(std::any_cast<PopoverAnchor*>(sender), static_cast<PopoverAnchor*>(&fixture.controller));
    }
    EXPECT_EQ(fixture.controller.anchorGeometry(), window->frameGeometry());
}

// A right click on the tray icon (or on the window standing in for it) opens
// its own menu: the cloud folder, the preferences, pause or start as the sync
// state says, and quit, each doing its work with itself as sender.
TEST(StatusItemControllerTests, rightClickMenuReachesFolderPreferencesPauseAndQuit)
{
    Fixture fixture;
    auto actions = std::make_shared<RecordingNavigatorActions>();
    auto enabler = std::make_shared<FakeSyncEnabler>();
    int quits = 0;
    fixture.controller.setContextMenu(std::make_unique<StatusItemMenu>(StatusItemMenu::Services {
        .clientName = "brisanto cloud", .actions = actions, .syncStatus = fixture.status, .syncEnabler = enabler, .quit = [&] { ++quits; } }));
    auto* menu = static_cast<StatusItemMenu*>(fixture.controller.contextMenu());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(fixture.controller.statusItem().contextMenu(), menu);
    ASSERT_TRUE(processEventsUntil([&] { return !menu->toggleSyncItem()->text().isEmpty(); }));
    QStringList titles;
    for (auto* action : menu->actions()) {
        if (!action->isSeparator()) {
            titles << action->text();
        }
    }
    EXPECT_EQ(titles, (QStringList { "brisanto cloud Ordner öffnen", "Einstellungen …", "Synchronisation anhalten", "brisanto cloud beenden" }));

    menu->openCloudFolderItem()->trigger();
    menu->preferencesItem()->trigger();
    ASSERT_EQ(actions->calls.size(), 2u);
    EXPECT_EQ(actions->calls[0], std::make_pair(std::string("openCloudFolder"), static_cast<QObject*>(menu->openCloudFolderItem())));
    EXPECT_EQ(actions->calls[1], std::make_pair(std::string("showPreferencesWindow"), static_cast<QObject*>(menu->preferencesItem())));
    menu->toggleSyncItem()->trigger();
    EXPECT_FALSE(enabler->enabled.value());
    fixture.status->current.set(Sync::SyncStatus::notReachable());
    ASSERT_TRUE(processEventsUntil([&] { return !menu->toggleSyncItem()->isEnabled(); }));
    menu->quitItem()->trigger();
    EXPECT_EQ(quits, 1);

    fixture.controller.enable();
    auto* window = fixture.controller.fallbackWindow();
    ASSERT_NE(window, nullptr);
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(10, 10), window->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(window, &rightClick);
    EXPECT_TRUE(menu->isVisible());
    menu->hide();
    EXPECT_TRUE(fixture.navigator->senders.empty()) << "a right click opened the popover";
}

// The pause or start entry does what its title says, from the very state it
// shows: "starten" starts, "anhalten" pauses. Logged out it leads to the login
// window, and the user's stored switch is as they left it when they log in again.
TEST(StatusItemControllerTests, menuPauseOrStartDoesWhatItSaysAndLeadsToTheLoginWhileLoggedOut)
{
    auto status = std::make_shared<FakeSyncStatusProvider>(Sync::SyncStatus::disabled());
    auto enabler = std::make_shared<FakeSyncEnabler>();
    auto actions = std::make_shared<RecordingNavigatorActions>();
    Reactive::MutableProperty<bool> loggedIn(false);
    StatusItemMenu menu(StatusItemMenu::Services { .clientName = "brisanto cloud",
        .actions = actions,
        .syncStatus = status,
        .syncEnabler = enabler,
        .isLoggedIn = loggedIn,
        .quit = [] {} });
    auto* item = menu.toggleSyncItem();
    ASSERT_TRUE(processEventsUntil([&] { return !item->text().isEmpty(); }));
    EXPECT_EQ(item->text(), QStringLiteral("Anmelden …"));
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_TRUE(enabler->enabled.value()) << "logged out, the entry paused the stored switch";
    ASSERT_EQ(actions->calls.size(), 1u);
    EXPECT_EQ(actions->calls[0], std::make_pair(std::string("showLoginWindow"), static_cast<QObject*>(item)));

    // Logged in with the switch off: "starten" switches it on, twice over too.
    enabler->enabled.set(false);
    loggedIn.set(true);
    ASSERT_TRUE(processEventsUntil([&] { return item->text() == QStringLiteral("Synchronisation starten"); }));
    item->trigger();
    EXPECT_TRUE(enabler->enabled.value());
    item->trigger();
    EXPECT_TRUE(enabler->enabled.value()) << "a second start, before the state moved on, paused";

    status->current.set(Sync::SyncStatus::syncing());
    ASSERT_TRUE(processEventsUntil([&] { return item->text() == QStringLiteral("Synchronisation anhalten"); }));
    item->trigger();
    EXPECT_FALSE(enabler->enabled.value());

    // Unreachable: nothing is offered.
    status->current.set(Sync::SyncStatus::notReachable());
    ASSERT_TRUE(processEventsUntil([&] { return !item->isEnabled(); }));
    Q_EMIT item->triggered();
    EXPECT_FALSE(enabler->enabled.value());

    // Logging out: the login again, the switch untouched.
    loggedIn.set(false);
    ASSERT_TRUE(processEventsUntil([&] { return item->text() == QStringLiteral("Anmelden …"); }));
    item->trigger();
    EXPECT_FALSE(enabler->enabled.value());
    EXPECT_EQ(actions->calls.size(), 2u);
}
