#include "Orvella/Presentation/TestSupport/RecordingPasteboard.hpp"
#include "Orvella/Presentation/TestSupport/RecordingWorkspace.hpp"
#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/ShareDialogs/TestSupport/ShareDialogFakes.hpp"
#include "Orvella/Sharing/ShareError.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/Navigator/TestSupport/RecordingNavigatorWindows.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

#include <QApplication>
#include <QFontMetrics>
#include <QPushButton>

#include <gtest/gtest.h>

#include <thread>

namespace Orvella {
namespace {

using Testing::sharedItem;

class RecordingAPIManager final : public APIManager {
public:
    int logouts = 0;
    std::vector<Reactive::Observer<Platform::URL, Reactive::AnyError>> hashRequests;
    Reactive::MutableProperty<bool> loggedIn { true };
    Reactive::MutableProperty<Quarlink::ReachabilityStatus> reachable { Quarlink::ReachabilityStatus::reachable };
    Reactive::MutableProperty<std::optional<Quarlink::CustomerInfo>> customer { std::nullopt };
    std::string hashURL = "https://web.example/login#hash";

    Reactive::Property<bool> isLoggedIn() const override { return loggedIn.property(); }
    Reactive::Property<Quarlink::ReachabilityStatus> reachability() const override { return reachable.property(); }
    Reactive::Property<std::optional<Quarlink::CustomerInfo>> customerInfo() const override { return customer.property(); }
    Reactive::SignalProducer<Platform::URL, Reactive::AnyError> loginHashURL() const override
    {
        return Reactive::SignalProducer<Platform::URL, Reactive::AnyError>::value(*Platform::URL::create(hashURL));
    }
    Reactive::SignalProducer<Quarlink::CustomerInfo, Reactive::AnyError> login(const Quarlink::Credentials&) override
    {
        return Reactive::SignalProducer<Quarlink::CustomerInfo, Reactive::AnyError>::never();
    }
    void logout() override
    {
        ++logouts;
        loggedIn.set(false);
    }
};

std::vector<QWidget*> dialogWindows()
{
    std::vector<QWidget*> windows;
    for (auto* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->testAttribute(Qt::WA_DeleteOnClose)) {
            windows.push_back(widget);
        }
    }
    return windows;
}

class NavigatorTest : public ::testing::Test {
protected:
    std::shared_ptr<Testing::RecordingNavigatorWindows> windows = std::make_shared<Testing::RecordingNavigatorWindows>();
    std::shared_ptr<RecordingWorkspace> workspace = std::make_shared<RecordingWorkspace>();
    std::shared_ptr<RecordingPasteboard> pasteboard = std::make_shared<RecordingPasteboard>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    std::shared_ptr<Testing::RecordingNotificationCenter> notifications = std::make_shared<Testing::RecordingNotificationCenter>();
    std::shared_ptr<RecordingAPIManager> apiManager = std::make_shared<RecordingAPIManager>();
    std::shared_ptr<Testing::FakePublicShareService> publicShares = std::make_shared<Testing::FakePublicShareService>();
    std::shared_ptr<Testing::FakePrivateShareService> privateShares = std::make_shared<Testing::FakePrivateShareService>();
    std::shared_ptr<Reactive::TestScheduler> ui = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<Navigator> navigator = std::make_shared<Navigator>(Navigator::Services {
        .windows = windows,
        .workspace = workspace,
        .pasteboard = pasteboard,
        .alerts = alerts,
        .notificationCenter = notifications,
        .configuration = std::make_shared<BrisantoClientConfiguration>(),
        .apiManager = apiManager,
        .publicShareService = publicShares,
        .privateShareService = privateShares,
        .fileStore = std::make_shared<Testing::ShareRecordStore>(),
        .cloudFolderURL = [] { return Platform::URL::fileURL("/home/anna/Cloud", Platform::URL::IsDirectory::Yes); },
        .checkForUpdates = {},
        .uiScheduler = ui,
        .mainQueue = std::make_shared<Reactive::TestScheduler>(),
    });

    ~NavigatorTest() override
    {
        for (auto* window : dialogWindows()) {
            delete window;
        }
    }
};

TEST_F(NavigatorTest, AnExistingLinkGoesToTheClipboardOnTheUIThreadWithoutAskingOrAWindow)
{
    auto file = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
        .syncFileID = 7, .path = "/Bericht.pdf", .fileName = "Bericht.pdf", .hasPublicShare = true });
    navigator->sharePublicLink(file);
    EXPECT_TRUE(publicShares->permissionsAsked.empty());
    ASSERT_EQ(publicShares->linksAsked.size(), 1u);
    // The service answers on its own thread; nothing desktop-side happens there.
    std::thread([&] {
        publicShares->links.succeed(0, std::make_shared<Sync::PublicShareInfoItem>(1, 7, *Platform::URL::create("https://share.example/abc"), std::nullopt));
    }).join();
    EXPECT_TRUE(pasteboard->writes.empty());
    EXPECT_TRUE(notifications->delivered.empty());
    ui->run();
    EXPECT_EQ(pasteboard->writes, (std::vector<std::string> { "clear", "url https://share.example/abc", "string https://share.example/abc" }));
    EXPECT_EQ(notifications->delivered,
        std::vector<std::string> { "Freigabe erfolgreich | Der Link zur Freigabe wurde in Ihre Zwischenablage kopiert." });
    EXPECT_TRUE(dialogWindows().empty());
}

TEST_F(NavigatorTest, ARefusalGivesOneAlertWithTheServiceTextsAndNoWindow)
{
    navigator->sharePublicLink(sharedItem(7, "Bericht.pdf"));
    navigator->sharePrivately(sharedItem(8, "Projekte", true));
    publicShares->permissions.fail(0, Reactive::AnyError(ShareError("Freigabe nicht möglich", "Diese Datei kann nicht freigegeben werden.")));
    privateShares->permissions.fail(0, Reactive::AnyError(ShareError("Freigabe konnte nicht vorbereitet werden", "Der Ordner ist schon freigegeben.")));
    EXPECT_TRUE(alerts->shown.empty()) << "the alert waits for the UI thread";
    ui->run();
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_EQ(alerts->shown[0].messageText, "Freigabe nicht möglich");
    EXPECT_EQ(alerts->shown[0].informativeText, "Diese Datei kann nicht freigegeben werden.");
    EXPECT_EQ(alerts->shown[1].messageText, "Freigabe konnte nicht vorbereitet werden");
    EXPECT_TRUE(dialogWindows().empty());
    EXPECT_TRUE(pasteboard->writes.empty());
}

TEST_F(NavigatorTest, TwoPermittedRequestsOpenTwoTitledDialogWindows)
{
    navigator->sharePublicLink(sharedItem(7, "Bericht.pdf"));
    navigator->sharePublicLink(sharedItem(9, "Foto.jpg"));
    navigator->sharePrivately(sharedItem(8, "Projekte", true));
    publicShares->permissions.succeed(0, {});
    publicShares->permissions.succeed(1, {});
    privateShares->permissions.succeed(0, {});
    ui->run();
    std::vector<QString> titles;
    for (auto* window : dialogWindows()) {
        titles.push_back(window->windowTitle());
    }
    std::ranges::sort(titles);
    EXPECT_EQ(titles, (std::vector<QString> { "Freigabe für Ordner \"Projekte\"", "Freigeben: Bericht.pdf", "Freigeben: Foto.jpg" }));

    // A dialog's link comes back through the navigator to the clipboard.
    auto* window = dialogWindows().front();
    auto* create = window->findChild<QPushButton*>();
    ASSERT_NE(create, nullptr);
    for (auto* each : dialogWindows()) {
        if (each->windowTitle() == "Freigeben: Foto.jpg") {
            each->findChild<QPushButton*>()->click();
        }
    }
    ASSERT_EQ(publicShares->created.size(), 1u);
    EXPECT_EQ(publicShares->created[0].first, "Foto.jpg");
    publicShares->creations.succeed(0, std::make_shared<Sync::PublicShareInfoItem>(2, 9, *Platform::URL::create("https://share.example/foto"), std::nullopt));
    ui->run();
    EXPECT_EQ(pasteboard->writes.back(), "string https://share.example/foto");
    EXPECT_TRUE(Testing::processEventsUntil([] { return dialogWindows().size() == 2; }));
}

// Each sharing dialog is at least as wide as its title, written as a title
// bar does (in bold), so the title bar shows the whole title.
TEST_F(NavigatorTest, EachShareDialogIsWideEnoughForItsOwnTitle)
{
    navigator->sharePublicLink(sharedItem(7, "Jahresabschluss und Steuererklärung 2026.pdf"));
    navigator->sharePrivately(sharedItem(8, "Gemeinsame Urlaubsfotos der Familie", true));
    publicShares->permissions.succeed(0, {});
    privateShares->permissions.succeed(0, {});
    ui->run();
    ASSERT_EQ(dialogWindows().size(), 2u);
    for (auto* window : dialogWindows()) {
        QFont bold = window->font();
        bold.setBold(true);
        const int titleWidth = QFontMetrics(bold).horizontalAdvance(window->windowTitle());
        EXPECT_GE(window->width(), titleWidth) << window->windowTitle().toStdString();
        EXPECT_GE(window->minimumWidth(), titleWidth) << window->windowTitle().toStdString();
    }
}

TEST_F(NavigatorTest, LogoutAsksAndOnlyOkLogsOut)
{
    alerts->answers = { AlertPresenter::firstButton + 1, AlertPresenter::firstButton };
    navigator->logout(nullptr);
    EXPECT_EQ(apiManager->logouts, 0);
    EXPECT_EQ(windows->calls, std::vector<std::string> { "activate" });
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].messageText, "Aus brisanto cloud abmelden");
    EXPECT_EQ(alerts->shown[0].informativeText, "Möchten Sie diesen Computer aus der brisanto cloud abmelden?");
    EXPECT_EQ(alerts->shown[0].buttons, (std::vector<std::string> { "Ok", "Abbrechen" }));
    navigator->logout(nullptr);
    EXPECT_EQ(apiManager->logouts, 1);
    EXPECT_EQ(windows->calls.back(), "showLogin");
}

TEST_F(NavigatorTest, ASenderInsideTheLoginWindowClosesItFirst)
{
    QWidget loginWindow;
    auto* button = new QPushButton(&loginWindow);
    QWidget popover;
    auto* popoverButton = new QPushButton(&popover);
    windows->loginWindowValue = &loginWindow;

    navigator->showPreferencesWindow(popoverButton);
    EXPECT_EQ(windows->calls, std::vector<std::string> { "showPreferences" });
    navigator->showPreferencesWindow(button);
    EXPECT_EQ(windows->calls, (std::vector<std::string> { "showPreferences", "hideLogin", "showPreferences" }));
    navigator->openCloudFolder(button);
    navigator->openCloudFolder(nullptr);
    ui->run();
    EXPECT_EQ(windows->calls.back(), "hideLogin");
    ASSERT_EQ(workspace->openedURLs.size(), 2u);
    EXPECT_EQ(workspace->openedURLs[0], "file:///home/anna/Cloud/");
}

TEST_F(NavigatorTest, NoRegistrationPageAndNoUpdaterOpenNothing)
{
    navigator->openRegistration(nullptr);
    navigator->checkForUpdates(nullptr);
    ui->run();
    EXPECT_TRUE(workspace->openedURLs.empty());
    navigator->openHomePageURL(nullptr);
    navigator->revealInFinder(*sharedItem(3, "Docs/a.txt"));
    ui->run();
    EXPECT_EQ(workspace->openedURLs, std::vector<std::string> { "https://web.example/login#hash" });
    EXPECT_EQ(workspace->revealedPaths, std::vector<std::string> { "/home/anna/Cloud/Docs/a.txt" });
}

TEST_F(NavigatorTest, TheServicesLoginAddressOpensOnlyAsAWebPage)
{
    // A login address the service gives opens only over https, or over http on this machine; a file, a script or
    // another program's handler is never handed to the desktop.
    for (const char* hostile : { "file:///etc/passwd", "javascript:alert(1)", "http://web.example/login", "smb://host/share",
             "x-scheme-handler://run", "ftp://web.example/login" }) {
        if (!Platform::URL::create(hostile))
            continue;
        apiManager->hashURL = hostile;
        navigator->openHomePageURL(nullptr);
        ui->run();
        EXPECT_TRUE(workspace->openedURLs.empty()) << hostile;
    }
    for (const char* web : { "https://web.example/login#hash", "HTTPS://web.example/x", "http://127.0.0.1:8642/login", "http://localhost/login" }) {
        apiManager->hashURL = web;
        navigator->openHomePageURL(nullptr);
    }
    ui->run();
    EXPECT_EQ(workspace->openedURLs.size(), 4u);
}

} // namespace
} // namespace Orvella

#include "Orvella/UI/Navigator/VisibilityNavigatorWindows.hpp"

namespace Orvella {
namespace {

// A window controller whose window is itself; closing posts the close notification.
struct FakeWindowController {
    std::vector<std::string>* calls;
    std::string name;
    bool shown = false;
    void showWindow()
    {
        shown = true;
        calls->push_back("show " + name);
    }
    void close()
    {
        calls->push_back("close " + name);
        // Last: the visibility controller may let this controller go right here.
        Platform::NotificationCenter::defaultCenter().post(std::string(windowWillCloseNotification), window());
    }
    [[nodiscard]] const void* window() const { return this; }
    void presentSheet(QWidget* sheet)
    {
        calls->push_back("sheet " + sheet->objectName().toStdString());
        delete sheet;
    }
};

TEST(VisibilityNavigatorWindows, MakesWindowsOnDemandAndSheetsOnlyOverAPreferencesWindow)
{
    std::vector<std::string> calls;
    int made = 0;
    VisibilityNavigatorWindows<FakeWindowController, FakeWindowController> windows({
        .login = [&] { ++made; return std::make_shared<FakeWindowController>(FakeWindowController { &calls, "login" }); },
        .preferences = [&] { ++made; return std::make_shared<FakeWindowController>(FakeWindowController { &calls, "preferences" }); },
        .sheet = [](NavigatorWindows::PreferencesSheet sheet) {
            auto* widget = new QWidget;
            widget->setObjectName(sheet == NavigatorWindows::PreferencesSheet::proxy ? "proxy" : "debug");
            return widget;
        },
        .popover = nullptr,
        .activate = [&] { calls.emplace_back("activate"); },
    });
    EXPECT_EQ(windows.loginWindow(), nullptr);
    windows.presentPreferencesSheet(NavigatorWindows::PreferencesSheet::proxy);
    EXPECT_TRUE(calls.empty()) << "no preferences window, no sheet";

    windows.showLoginWindow();
    const void* login = windows.loginWindow();
    EXPECT_NE(login, nullptr);
    windows.showLoginWindow();
    EXPECT_EQ(made, 1);
    windows.hideLoginWindow();
    EXPECT_EQ(windows.loginWindow(), nullptr) << "the closed controller is let go";
    windows.showLoginWindow();
    EXPECT_EQ(made, 2) << "a closed window's controller is let go";

    windows.showPreferencesWindow();
    windows.presentPreferencesSheet(NavigatorWindows::PreferencesSheet::debug);
    EXPECT_EQ(calls.back(), "sheet debug");
    windows.togglePopover(std::any());
}

} // namespace
} // namespace Orvella
