#include "Orvella/Popover/TestSupport/PopoverFakes.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/UI/Popover/LoggedOutPopoverViewController.hpp"
#include "Orvella/UI/Popover/PopoverViewController.hpp"
#include "Orvella/UI/Popover/RecentFilesListModel.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"

#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

struct Fixture {
    std::shared_ptr<Reactive::TestScheduler> mainQueue = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<FakeFilesProvider> files = std::make_shared<FakeFilesProvider>();
    std::shared_ptr<FakeSyncStatusProvider> status = std::make_shared<FakeSyncStatusProvider>(Sync::SyncStatus::disabled());
    std::shared_ptr<FakeQuotaProvider> quota = std::make_shared<FakeQuotaProvider>();
    std::shared_ptr<FakeSyncEnabler> enabler = std::make_shared<FakeSyncEnabler>();
    std::shared_ptr<RecordingNavigatorActions> actions = std::make_shared<RecordingNavigatorActions>();
    std::shared_ptr<BrisantoClientConfiguration> brand = std::make_shared<BrisantoClientConfiguration>();
    std::shared_ptr<RecordingPopoverNavigator> navigator = std::make_shared<RecordingPopoverNavigator>();
    std::shared_ptr<PopoverViewModel> viewModel;
    std::unique_ptr<PopoverViewController> controller;
    int quits = 0;

    Fixture()
    {
        quota->current.set({ .usedBytes = 3 * (1ll << 30) / 8, .totalBytes = 1ll << 30 });
        viewModel = std::make_shared<PopoverViewModel>(
            PopoverViewModel::Services { .configuration = brand,
                .syncEnabler = enabler,
                .quotaProvider = quota,
                .fileProvider = files,
                .navigator = navigator,
                .syncStatusProvider = status,
                .cloudFolder = std::make_shared<FakeCloudFolder>("/home/nutzer/Cloud") },
            PopoverViewModel::Schedulers { .ui = Reactive::UIScheduler::make(), .mainQueue = mainQueue });
        mainQueue->advance();
        FakeFilesProvider::answer(files->last(), { file("/a.txt"), file("/b.txt") });
        controller = std::make_unique<PopoverViewController>(viewModel, actions, std::make_shared<IconFactory>(QStringList {}),
            [this] { ++quits; });
    }

    void type(const QString& text)
    {
        for (const QChar character : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(character));
            QCoreApplication::sendEvent(controller->filesSearchField(), &press);
        }
    }
};

} // namespace

// At first show every bound control shows the view model's current values.
TEST(PopoverViewControllerTests, firstShowDisplaysCurrentValues)
{
    Fixture fixture;
    auto& controller = *fixture.controller;
    EXPECT_EQ(controller.statusTextField()->text(), QStringLiteral("Synchronisierung angehalten"));
    EXPECT_FALSE(controller.statusImageView()->pixmap().isNull());
    EXPECT_EQ(controller.syncStorageInfoMenuItem()->text(), QStringLiteral("38 % von 1 GB"));
    EXPECT_EQ(controller.syncStatusMenuItem()->text(), QStringLiteral("Synchronisierung angehalten"));
    EXPECT_EQ(controller.toggleSyncMenuItem()->text(), QStringLiteral("Synchronisation starten"));
    EXPECT_TRUE(controller.toggleSyncMenuItem()->isEnabled());
    EXPECT_TRUE(controller.emptyStateLabel()->isHidden());
    EXPECT_EQ(controller.filesTableView()->model()->rowCount(), 2);
    EXPECT_EQ(controller.filesSearchField()->placeholderText(), QStringLiteral("Suchen"));
    EXPECT_EQ(controller.emptyStateLabel()->text(), QStringLiteral("Keine Dateien gefunden"));
    EXPECT_TRUE(controller.activityIndicator()->isHidden());

    fixture.status->current.set(Sync::SyncStatus::notReachable());
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.toggleSyncMenuItem()->text(), QStringLiteral("Synchronisation nicht verfügbar"));
    EXPECT_FALSE(controller.toggleSyncMenuItem()->isEnabled());
}

// Texts that name the application are built from the brand name.
TEST(PopoverViewControllerTests, textsBuiltFromTheBrandName)
{
    Fixture fixture;
    const auto name = QString::fromStdString(fixture.brand->clientName());
    auto& controller = *fixture.controller;
    EXPECT_EQ(controller.logoutMenuItem()->text(), "aus " + name + " abmelden");
    EXPECT_EQ(controller.quitMenuItem()->text(), name + " beenden");
    EXPECT_EQ(controller.openLocalFolderButton()->toolTip(), name + " Ordner öffnen");
    EXPECT_EQ(controller.openWebSiteButton()->toolTip(), name + " öffnen");
    EXPECT_EQ(controller.openSettingsButton()->toolTip(), QStringLiteral("Einstellungen öffnen"));

    const LoggedOutPopoverViewController loggedOut(*fixture.brand);
    EXPECT_EQ(loggedOut.infoLabel()->text(), "Sie müssen sich anmelden, um die " + name + " zu verwenden.");
}

// Logged out, the popover is no dead end: it leads to the login window and
// lets the user quit.
TEST(PopoverViewControllerTests, loggedOutLeadsToTheLoginWindowAndQuits)
{
    Fixture fixture;
    int quits = 0;
    LoggedOutPopoverViewController loggedOut(*fixture.brand, fixture.actions, [&] { ++quits; });
    EXPECT_EQ(loggedOut.loginButton()->text(), QStringLiteral("Anmelden …"));
    EXPECT_EQ(loggedOut.quitButton()->text(), QString::fromStdString(fixture.brand->clientName()) + " beenden");
    loggedOut.loginButton()->click();
    ASSERT_EQ(fixture.actions->calls.size(), 1u);
    EXPECT_EQ(fixture.actions->calls[0], std::make_pair(std::string("showLoginWindow"), static_cast<QObject*>(loggedOut.loginButton())));
    loggedOut.quitButton()->click();
    EXPECT_EQ(quits, 1);
}

// Every keystroke reaches the search text; the spinner runs while a search does.
TEST(PopoverViewControllerTests, eachKeystrokeReachesSearchText)
{
    Fixture fixture;
    std::vector<std::string> texts;
    fixture.viewModel->searchText().signal().observeValues([&](const std::string& text) { texts.push_back(text); });
    fixture.type(QStringLiteral("Bär"));
    EXPECT_EQ(texts, (std::vector<std::string> { "B", "Bä", "Bär" }));
    fixture.mainQueue->advance(std::chrono::seconds(1));
    EXPECT_TRUE(fixture.viewModel->searchIsRunning().value());
    QCoreApplication::processEvents();
    EXPECT_FALSE(fixture.controller->activityIndicator()->isHidden());
    FakeFilesProvider::answer(fixture.files->last(), {});
    QCoreApplication::processEvents();
    EXPECT_TRUE(fixture.controller->activityIndicator()->isHidden());
    EXPECT_FALSE(fixture.controller->emptyStateLabel()->isHidden());
}

// A file with a name far wider than the popover is shortened in its row:
// the list never scrolls sideways.
TEST(PopoverViewControllerTests, longNamesNeverScrollTheListSideways)
{
    Fixture fixture;
    fixture.mainQueue->advance(std::chrono::seconds(1));
    fixture.viewModel->searchText().set("Bericht");
    fixture.mainQueue->advance();
    // More rows than the list shows: the vertical scroll bar takes its room too.
    std::vector<Sync::FileRef> found { file("/Projekte/Ein sehr langer Dateiname für den Jahresbericht des Vereins mit allen Anhängen und Belegen 2026.pdf") };
    for (int number = 1; number <= 8; ++number) {
        found.push_back(file("/Datei " + std::to_string(number) + ".txt"));
    }
    FakeFilesProvider::answer(fixture.files->last(), found);
    auto& controller = *fixture.controller;
    controller.show();
    ASSERT_TRUE(processEventsUntil([&] { return controller.filesModel()->rowCount() > 0 && controller.filesTableView()->isVisible(); }));
    QCoreApplication::processEvents();
    auto* list = controller.filesTableView();
    EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(list->visualRect(controller.filesModel()->index(0)).right(), list->viewport()->width());
    controller.hide();
}

// Closing the popover empties the search: it opens again on the recent files.
TEST(PopoverViewControllerTests, closingThePopoverClearsTheSearch)
{
    Fixture fixture;
    // The window the popover shows its content in.
    QWidget popover;
    auto* controller = fixture.controller.release();
    controller->setParent(&popover);
    popover.show();
    ASSERT_TRUE(controller->isVisible());
    controller->filesSearchField()->setText(QStringLiteral("Bär"));
    EXPECT_EQ(fixture.viewModel->searchText().value(), "Bär");
    popover.hide();
    EXPECT_EQ(controller->filesSearchField()->text(), QString());
    EXPECT_EQ(fixture.viewModel->searchText().value(), "");
}

// Selecting a row in the table reveals its file once; clearing the selection reveals nothing.
TEST(PopoverViewControllerTests, selectingARowRevealsItsFile)
{
    Fixture fixture;
    auto* view = fixture.controller->filesTableView();
    view->selectionModel()->select(view->model()->index(1, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(fixture.navigator->revealedPaths, std::vector<std::string> { "/b.txt" });
    view->selectionModel()->clearSelection();
    EXPECT_EQ(fixture.navigator->revealedPaths.size(), 1u);
}

// Toggling twice returns the switch to where it was; the menu item toggles too.
TEST(PopoverViewControllerTests, togglingTwiceRestoresTheSwitch)
{
    Fixture fixture;
    fixture.controller->toggleSynchronization();
    EXPECT_FALSE(fixture.enabler->enabled.value());
    fixture.controller->toggleSyncMenuItem()->trigger();
    EXPECT_TRUE(fixture.enabler->enabled.value());
}

// A replacement of the list with as many entries reloads the table.
TEST(PopoverViewControllerTests, equalSizeReplacementReloads)
{
    Fixture fixture;
    QSignalSpy resets(fixture.controller->filesModel(), &QAbstractItemModel::modelReset);
    fixture.mainQueue->advance(std::chrono::seconds(1));
    fixture.viewModel->searchText().set("neu");
    fixture.mainQueue->advance();
    FakeFilesProvider::answer(fixture.files->last(), { file("/c.txt"), file("/d.txt") });
    QCoreApplication::processEvents();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(fixture.controller->filesModel()->index(0).data().toString(), QStringLiteral("c.txt"));
}

// The buttons send their navigator actions with themselves as sender; the
// settings button opens the preferences, the menu button the menu at its
// centre; the menu's preferences, log out and quit do their work.
TEST(PopoverViewControllerTests, buttonsAndMenu)
{
    Fixture fixture;
    auto& controller = *fixture.controller;
    controller.show();
    controller.openLocalFolderButton()->click();
    controller.openWebSiteButton()->click();
    ASSERT_EQ(fixture.actions->calls.size(), 2u);
    EXPECT_EQ(fixture.actions->calls[0], std::make_pair(std::string("openCloudFolder"), static_cast<QObject*>(controller.openLocalFolderButton())));
    EXPECT_EQ(fixture.actions->calls[1].first, "openHomePageURL");

    controller.openSettingsButton()->click();
    EXPECT_FALSE(controller.popupMenu()->isVisible());
    EXPECT_EQ(fixture.actions->calls.back(),
        std::make_pair(std::string("showPreferencesWindow"), static_cast<QObject*>(controller.openSettingsButton())));
    controller.openMenuButton()->click();
    ASSERT_TRUE(controller.popupMenu()->isVisible());
    const auto* button = controller.openMenuButton();
    EXPECT_EQ(controller.popupMenu()->pos(), button->mapToGlobal(button->rect().center()));
    controller.popupMenu()->hide();

    EXPECT_EQ(controller.preferencesMenuItem()->text(), QStringLiteral("Einstellungen …"));
    EXPECT_TRUE(controller.popupMenu()->actions().contains(controller.preferencesMenuItem()));
    controller.preferencesMenuItem()->trigger();
    EXPECT_EQ(fixture.actions->calls.back().first, "showPreferencesWindow");
    controller.logoutMenuItem()->trigger();
    controller.quitMenuItem()->trigger();
    EXPECT_EQ(fixture.actions->calls.back().first, "logout");
    EXPECT_EQ(fixture.quits, 1);

    controller.hide();
    controller.showPopupMenu(controller.openMenuButton());
    EXPECT_FALSE(controller.popupMenu()->isVisible());
}
