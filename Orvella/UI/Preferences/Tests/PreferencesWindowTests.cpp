#include "Orvella/Preferences/Tests/AccountFixture.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/Presentation/TestSupport/RecordingWorkspace.hpp"
#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/UI/Preferences/AccountPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/FeedbackPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/GeneralPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/PreferencesWindowController.hpp"
#include "Orvella/UI/Presentation/QtAlertPresenter.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QMainWindow>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

using namespace Orvella;
using namespace Orvella::Testing;
using Platform::Testing::TemporaryDirectory;

namespace {

struct ScriptedFolderChooser final : FolderChooser {
    std::deque<std::optional<QString>> answers;
    std::vector<QString> titles;
    std::vector<QString> acceptLabels;
    std::optional<QString> chooseFolder(QWidget*, const QString& title, const QString& acceptLabel, const QString&) override
    {
        titles.push_back(title);
        acceptLabels.push_back(acceptLabel);
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

struct PaneFixture {
    TemporaryDirectory root;
    AccountFixture account { root };
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<ScriptedFolderChooser> chooser = std::make_shared<ScriptedFolderChooser>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();

    std::unique_ptr<AccountPreferencesViewController> pane()
    {
        return std::make_unique<AccountPreferencesViewController>(std::shared_ptr<AccountPreferencesViewModel>(account.make()),
            AccountPreferencesViewController::Seams { .workspace = workspace, .folderChooser = chooser, .alertPresenter = alerts });
    }
};

} // namespace

// User clicks reach the settings; a change made elsewhere does not move the boxes.
TEST(GeneralPreferencesTests, clicksWriteBackProgrammaticChangesDoNot)
{
    Reactive::MutableProperty<bool> launch(false), notifications(true), tracking(true);
    GeneralPreferencesViewController pane(std::make_shared<GeneralPreferencesViewModel>(launch, notifications, tracking, "Unknown Version"));
    EXPECT_FALSE(pane.launchOnStartupButton()->isChecked());
    EXPECT_TRUE(pane.enableDesktopNotificationsButton()->isChecked());
    EXPECT_FALSE(pane.enableUsageTrackingButton()->isChecked());
    EXPECT_EQ(pane.enableUsageTrackingButton()->text(), QStringLiteral("Keine anonymen Nutzungsdaten senden"));
    EXPECT_EQ(pane.versionLabel()->text(), QStringLiteral("Unknown Version"));
    pane.enableUsageTrackingButton()->click();
    EXPECT_FALSE(tracking.value());
    pane.enableDesktopNotificationsButton()->click();
    EXPECT_FALSE(notifications.value());
    pane.launchOnStartupButton()->click();
    EXPECT_TRUE(launch.value());
    launch.set(false);
    tracking.set(true);
    QCoreApplication::processEvents();
    EXPECT_TRUE(pane.launchOnStartupButton()->isChecked());
    EXPECT_TRUE(pane.enableUsageTrackingButton()->isChecked());
    pane.launchOnStartupButton()->setChecked(false);
    pane.launchOnStartupButton()->setChecked(true);
    EXPECT_FALSE(launch.value());
}

TEST(PreferencesWindowTests, threeItemsInOrderFirstSelectedFreshPanesPerWindow)
{
    TemporaryDirectory root;
    AccountFixture account(root);
    int built = 0;
    auto actions = std::make_shared<RecordingNavigatorActions>();
    auto makeController = [&] {
        return std::make_shared<PreferencesWindowController>(standardPreferences([&]() -> QWidget* { ++built; return new QLabel(QStringLiteral("Allgemein")); },
            [&]() -> QWidget* {
                ++built;
                return new AccountPreferencesViewController(std::shared_ptr<AccountPreferencesViewModel>(account.make()),
                    { std::make_shared<RecordingWorkspace>(), std::make_shared<QtFolderChooser>(), std::make_shared<ScriptedAlertPresenter>() });
            },
            [&]() -> QWidget* { ++built; return new FeedbackPreferencesViewController(actions); }));
    };
    WindowVisibilityController<PreferencesWindowController> visibility(makeController);
    visibility.show();
    auto controller = visibility.windowController();
    ASSERT_EQ(controller->toolbarActions().size(), 3u);
    EXPECT_EQ(controller->toolbarActions()[0]->text(), QStringLiteral("Allgemein"));
    EXPECT_EQ(controller->toolbarActions()[1]->text(), QStringLiteral("Konto"));
    EXPECT_EQ(controller->toolbarActions()[2]->text(), QStringLiteral("Feedback"));
    EXPECT_EQ(controller->toolbar()->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    for (auto* action : controller->toolbarActions()) {
        EXPECT_FALSE(action->icon().isNull());
    }
    EXPECT_TRUE(controller->toolbarActions()[0]->isChecked());
    EXPECT_EQ(controller->panes()->currentIndex(), 0);
    EXPECT_EQ(built, 3);
    controller->toolbarActions()[1]->trigger();
    EXPECT_EQ(controller->panes()->currentIndex(), 1);
    EXPECT_FALSE(controller->toolbarActions()[0]->isChecked());
    auto* pane = static_cast<AccountPreferencesViewController*>(controller->panes()->widget(1));
    EXPECT_EQ(pane->usernameLabel()->text(), QStringLiteral("Nicht angemeldet"));

    controller.reset();
    visibility.hide();
    EXPECT_EQ(visibility.windowController(), nullptr);
    account.loggedIn.set(true);
    account.customerEmail.set("anna@example.org");
    account.cloudFolder.set(Platform::URL::fileURL(root / "Anders", Platform::URL::IsDirectory::Yes));
    visibility.show();
    controller = visibility.windowController();
    EXPECT_EQ(built, 6);
    pane = static_cast<AccountPreferencesViewController*>(controller->panes()->widget(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->usernameLabel()->text(), QStringLiteral("Angemeldet als anna@example.org"));
    EXPECT_EQ(pane->loginButton()->text(), QStringLiteral("Abmelden"));
    EXPECT_EQ(pane->pathControlElements().back()->text(), QStringLiteral("Anders"));
    EXPECT_EQ(controller->panes()->currentIndex(), 0);
}

TEST(AccountPreferencesTests, breadcrumbOpensFoldersAndLoginButtonFollowsState)
{
    PaneFixture fixture;
    auto pane = fixture.pane();
    QCoreApplication::processEvents();
    const auto elements = pane->pathControlElements();
    ASSERT_GE(elements.size(), 3u);
    EXPECT_EQ(elements.front()->text(), QStringLiteral("/"));
    EXPECT_EQ(elements.back()->text(), QStringLiteral("Cloud"));
    elements[elements.size() - 2]->click();
    ASSERT_EQ(fixture.workspace->openedURLs.size(), 1u);
    EXPECT_EQ(fixture.workspace->openedURLs[0], Platform::URL::fileURL(fixture.root / "home/").absoluteString());
    EXPECT_EQ(pane->loginButton()->text(), QStringLiteral("Anmelden"));
    pane->loginButton()->click();
    EXPECT_EQ(fixture.account.loginWindowShown, 1);
    fixture.account.loggedIn.set(true);
    QCoreApplication::processEvents();
    EXPECT_EQ(pane->usernameLabel()->text(), QStringLiteral("Angemeldet als unbekannter Nutzer"));
    EXPECT_EQ(pane->loginButton()->text(), QStringLiteral("Abmelden"));
    pane->loginButton()->click();
    EXPECT_EQ(fixture.account.logouts, 1);
}

// A folder with content: the alert offers to empty it; its content goes to
// the Trash and the folder becomes the cloud folder. Cancel and recursion change nothing.
TEST(AccountPreferencesTests, folderChoiceAlertsAndEmptying)
{
    PaneFixture fixture;
    auto pane = fixture.pane();
    const auto before = fixture.account.cloudFolder.value();
    fixture.chooser->answers = { std::nullopt, QString::fromStdString(fixture.root / "home/Cloud/Sub"),
        QString::fromStdString(fixture.root / "Neu") };
    std::filesystem::create_directories(fixture.root / "home/Cloud/Sub");
    std::filesystem::create_directories(fixture.root / "Neu");
    Platform::Testing::writeFile(fixture.root / "Neu/.hidden", "x");

    pane->changeButton()->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(fixture.alerts->shown.empty());
    EXPECT_EQ(fixture.chooser->titles.at(0), QStringLiteral("Neuen brisanto cloud Ordner auswählen"));
    EXPECT_EQ(fixture.chooser->acceptLabels.at(0), QStringLiteral("Auswählen"));

    pane->changeButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return fixture.alerts->shown.size() == 1; }));
    EXPECT_EQ(fixture.alerts->shown[0].messageText, "Unzulässiger Ordner");
    EXPECT_EQ(fixture.alerts->shown[0].buttons, std::vector<std::string> { "Ok" });
    EXPECT_EQ(fixture.account.cloudFolder.value(), before);

    fixture.alerts->answers = { AlertPresenter::firstButton + 1 };
    pane->changeButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return fixture.account.cloudFolder.value().path() == fixture.root / "Neu/"; }));
    ASSERT_EQ(fixture.alerts->shown.size(), 2u);
    EXPECT_EQ(fixture.alerts->shown[1].buttons, (std::vector<std::string> { "Ok", "Ordnerinhalt löschen" }));
    EXPECT_EQ(fixture.alerts->shown[1].style, AlertStyle::warning);
    EXPECT_TRUE(std::filesystem::exists(fixture.root / "data/Trash/files/.hidden"));
    QCoreApplication::processEvents();
    EXPECT_EQ(fixture.alerts->shown.size(), 2u);
    EXPECT_EQ(pane->pathControlElements().back()->text(), QStringLiteral("Neu"));
}

// A person who presses Escape on, or closes, the question whether a chosen
// folder's content should go: the content stays where it is, and the folder
// does not become the cloud folder.
TEST(AccountPreferencesTests, escapeOrClosingTheNotEmptyAlertKeepsTheFolderContent)
{
    PaneFixture fixture;
    QtAlertPresenter presenter;
    auto pane = std::make_unique<AccountPreferencesViewController>(std::shared_ptr<AccountPreferencesViewModel>(fixture.account.make()),
        AccountPreferencesViewController::Seams {
            .workspace = fixture.workspace, .folderChooser = fixture.chooser, .alertPresenter = std::shared_ptr<AlertPresenter>(&presenter, [](auto*) {}) });
    pane->show();
    const auto before = fixture.account.cloudFolder.value();
    std::filesystem::create_directories(fixture.root / "Neu/Fotos");
    Platform::Testing::writeFile(fixture.root / "Neu/Fotos/Urlaub.jpg", "jpeg");
    Platform::Testing::writeFile(fixture.root / "Neu/Liste.txt", "Milch");
    const std::vector<std::function<void(QMessageBox*)>> dismissals {
        [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); },
        [](QMessageBox* box) { box->windowHandle()->close(); },
    };
    for (const auto& dismiss : dismissals) {
        bool shown = false;
        QString informative;
        whenAlertShows(pane.get(), [&](QMessageBox* box) {
            shown = true;
            informative = box->informativeText();
            dismiss(box);
        });
        fixture.chooser->answers = { QString::fromStdString(fixture.root / "Neu") };
        pane->changeButton()->click();
        ASSERT_TRUE(processEventsUntil([&] { return shown && QApplication::activeModalWidget() == nullptr; }));
        QCoreApplication::processEvents();
        EXPECT_TRUE(informative.contains(QStringLiteral("muss leer sein")));
        EXPECT_TRUE(std::filesystem::exists(fixture.root / "Neu/Fotos/Urlaub.jpg"));
        EXPECT_TRUE(std::filesystem::exists(fixture.root / "Neu/Liste.txt"));
        EXPECT_TRUE(fixture.account.fileManager->trashed.empty());
        EXPECT_EQ(fixture.account.cloudFolder.value(), before);
    }
}

// The proxy settings open from a button of the general pane (Alt+P); the
// debug pane from the preferences window's key combination. Both reach the navigator
// with their control as sender.
TEST(FeedbackAndProxyTests, proxyButtonAndDebugKeyReachTheNavigator)
{
    auto actions = std::make_shared<RecordingNavigatorActions>();
    Reactive::MutableProperty<bool> launch(false), notifications(true), tracking(true);
    PreferencesWindowController preferences(standardPreferences(
        [&]() -> QWidget* {
            return new GeneralPreferencesViewController(
                std::make_shared<GeneralPreferencesViewModel>(launch, notifications, tracking, "Unknown Version"), actions);
        },
        [] { return new QLabel; }, [] { return new QLabel; }, [actions](QObject* sender) { actions->showDebugPreferences(sender); }));
    preferences.showWindow();
    auto* general = static_cast<GeneralPreferencesViewController*>(preferences.panes()->widget(0));
    EXPECT_EQ(general->proxyButton()->text(), QStringLiteral("&Proxy-Einstellungen …"));
    general->proxyButton()->click();
    ASSERT_EQ(actions->calls.size(), 1u);
    EXPECT_EQ(actions->calls[0], std::make_pair(std::string("showProxyPreferences"), static_cast<QObject*>(general->proxyButton())));

    auto* window = const_cast<QWidget*>(static_cast<const QWidget*>(preferences.window()));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_TRUE(processEventsUntil([&] { return actions->calls.size() == 2; }));
    EXPECT_EQ(actions->calls[1].first, "showDebugPreferences");
    QTest::keyClick(window, Qt::Key_P, Qt::AltModifier);
    ASSERT_TRUE(processEventsUntil([&] { return actions->calls.size() == 3; }));
    EXPECT_EQ(actions->calls[2].first, "showProxyPreferences");
}

TEST(FeedbackAndProxyTests, buttonsAndCloseSheet)
{
    auto actions = std::make_shared<RecordingNavigatorActions>();
    FeedbackPreferencesViewController feedback(actions);
    feedback.contactButton()->click();
    feedback.helpButton()->click();
    ASSERT_EQ(actions->calls.size(), 2u);
    EXPECT_EQ(actions->calls[0].first, "openContactURL");
    EXPECT_EQ(actions->calls[1].first, "openHelpURL");

    PreferencesWindowController preferences(standardPreferences([] { return new QLabel; }, [] { return new QLabel; }, [] { return new QLabel; }));
    QPointer<ProxyPreferencesViewController> proxy(new ProxyPreferencesViewController);
    preferences.presentSheet(proxy);
    EXPECT_EQ(proxy->windowModality(), Qt::WindowModal);
    EXPECT_EQ(proxy->parentWidget(), static_cast<const QWidget*>(preferences.window()));
    EXPECT_EQ(proxy->closeButton()->text(), QStringLiteral("Schließen"));
    proxy->closeButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return proxy.isNull(); }));
}
