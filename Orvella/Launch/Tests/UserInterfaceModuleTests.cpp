// The tray application's container as `orvella` builds it: the real widgets
// off-screen over the composition root, a private bus and the local service.

#include "Orvella/AppModule/AppModuleFactories.hpp"
#include "Orvella/AppModule/Tests/AppModuleFixture.hpp"
#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Launch/ContainerLaunchServices.hpp"
#include "Orvella/Launch/PasswordWindowHolder.hpp"
#include "Orvella/Launch/UserInterfaceModule.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Orvella/UI/Login/LoginWindowController.hpp"
#include "Orvella/UI/Navigator/Navigator.hpp"
#include "Orvella/UI/Popover/LoggedOutPopoverViewController.hpp"
#include "Orvella/UI/Popover/PopoverViewController.hpp"
#include "Orvella/UI/Preferences/PreferencesWindowController.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/StatusItem/StatusItemController.hpp"
#include "Orvella/UI/Windows/PopoverWindow.hpp"
#include "Platform/Desktop/ExtensionRegistry.hpp"

#include <QApplication>
#include <QWidget>

namespace Orvella::Testing {
namespace {

class UserInterfaceModuleTests : public AppModuleFixture {
protected:
    void SetUp() override
    {
        AppModuleFixture::SetUp();
        m_extensionRegistry = std::make_shared<Platform::FileExtensionRegistry>(groupFolder());
        auto mainQueue = m_mainQueue;
        m_moreUserInterface = [mainQueue](Binder& binder) {
            registerUserInterface(binder, { .uiScheduler = mainQueue, .mainQueue = mainQueue, .quit = [] {}, .activate = [] {} });
        };
    }

    void TearDown() override
    {
        m_delegate.reset();
        AppModuleFixture::TearDown();
        QCoreApplication::processEvents();
    }

    std::shared_ptr<CredentialHolder> holder() { return resolved<CredentialHolder>(); }

    static QWidget* visibleWindowTitled(const QString& title)
    {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowTitle() == title)
                return window;
        }
        return nullptr;
    }

    std::unique_ptr<AppDelegate> m_delegate;
};

TEST_F(UserInterfaceModuleTests, TheNavigatorServesEveryRoleAndTheWindowsAreBuiltAnewEachTime)
{
    // One navigator behind all its roles; window controllers are transient, the status item single.
    buildContainer();
    auto navigator = resolved<Navigator>();
    ASSERT_TRUE(navigator);
    EXPECT_EQ(resolved<NavigatorActions>().get(), static_cast<NavigatorActions*>(navigator.get()));
    EXPECT_EQ(resolved<StatusItemNavigator>().get(), static_cast<StatusItemNavigator*>(navigator.get()));
    EXPECT_EQ(resolved<PopoverNavigator>().get(), static_cast<PopoverNavigator*>(navigator.get()));
    EXPECT_EQ(resolved<ShareDurationNavigator>().get(), static_cast<ShareDurationNavigator*>(navigator.get()));
    EXPECT_EQ(resolved<StatusItemController>(), resolved<StatusItemController>());
    auto firstPreferences = resolved<PreferencesWindowController>();
    auto secondPreferences = resolved<PreferencesWindowController>();
    ASSERT_TRUE(firstPreferences && secondPreferences);
    EXPECT_NE(firstPreferences, secondPreferences);
    EXPECT_NE(resolved<LoginWindowController>(), resolved<LoginWindowController>());
    // The password window is the real holder's, replacing the headless one.
    EXPECT_TRUE(std::dynamic_pointer_cast<PasswordWindowHolder>(resolved<PasswordWindowNavigator>()));
}

TEST_F(UserInterfaceModuleTests, ThePopoverShowsTheLoggedOutViewThenANewPopoverViewAtEachLogin)
{
    buildContainer();
    auto popover = resolved<PopoverWindow>();
    ASSERT_TRUE(popover);
    const auto shows = [&popover]<class Content>(std::type_identity<Content>) { return dynamic_cast<Content*>(popover->content()) != nullptr; };
    constexpr std::type_identity<LoggedOutPopoverViewController> loggedOut;
    constexpr std::type_identity<PopoverViewController> loggedIn;
    EXPECT_TRUE(pumpUntil([&] { return shows(loggedOut); }));

    // Logged in and out as the application does it, each step ended before the next: the popover's requests then
    // run in a session of the service, and nothing renews one behind the test's back.
    const auto logIn = [&] {
        auto login = Quarlink::Testing::run(resolved<APIManager>()->login(m_credentials));
        return !login.empty() && login.back().isCompleted();
    };
    ASSERT_TRUE(logIn());
    ASSERT_TRUE(pumpUntil([&] { return shows(loggedIn); }));
    QPointer<QWidget> firstContent(popover->content());

    resolved<APIManager>()->logout();
    EXPECT_FALSE(holder()->credentials().value());
    EXPECT_TRUE(pumpUntil([&] { return shows(loggedOut); }));
    ASSERT_TRUE(logIn());
    EXPECT_TRUE(pumpUntil([&] { return shows(loggedIn); }));
    EXPECT_NE(popover->content(), firstContent.data());
    // The replaced content went with its view model.
    EXPECT_TRUE(processEventsUntil([&] { return firstContent.isNull(); }));
}

TEST_F(UserInterfaceModuleTests, ThePasswordWindowNeedsAKnownUserAndIsLetGoOnceClosed)
{
    buildContainer();
    auto holderOfWindow = resolved<PasswordWindowNavigator>();
    // Nobody logged in yet: no window, and the program goes on.
    auto none = holderOfWindow->makePasswordWindow();
    ASSERT_FALSE(none.has_value());
    EXPECT_NE(none.error().description().find("kein Benutzername"), std::string::npos) << none.error().description();

    holder()->credentials().set(m_credentials);
    auto made = holderOfWindow->makePasswordWindow();
    ASSERT_TRUE(made.has_value()) << made.error().description();
    std::weak_ptr<PasswordWindow> weakWindow = *made;
    int closes = 0;
    auto observation = (*made)->closed().observeValues([&closes](const Reactive::Unit&) { ++closes; });
    holderOfWindow->holdPasswordWindow(*made);
    (*made)->showWindow();
    made = std::unexpected(Reactive::AnyError(Factories::ServiceUnavailable("weg")));
    ASSERT_TRUE(holderOfWindow->heldPasswordWindow());

    holderOfWindow->heldPasswordWindow()->close();
    EXPECT_EQ(closes, 1);
    // Still held while its close is delivered; gone on the main queue's next turn.
    EXPECT_TRUE(holderOfWindow->heldPasswordWindow());
    drainMainQueue();
    EXPECT_FALSE(holderOfWindow->heldPasswordWindow());
    observation.dispose();
    EXPECT_TRUE(weakWindow.expired());
}

TEST_F(UserInterfaceModuleTests, ALoggedOutLaunchOverTheContainerShowsTheLoginWindowAndRegistersNothing)
{
    // The launch with every service from the container: it completes, and a logged-out start shows the login window.
    buildContainer();
    AppDelegate::Services services {
        .groupContainer = groupFolder(),
        .standardDefaults = std::make_shared<StandardDefaults>(std::filesystem::path(m_home.path()) / "defaults.json"),
        .arguments = { "orvella" },
        .mover = std::make_shared<ApplicationMover>(),
        .versionString = "1.0 (1)",
        .log = [](const std::string&) {},
    };
    addContainerServices(services, *m_resolver);
    m_delegate = std::make_unique<AppDelegate>(std::move(services));
    auto launched = m_delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(launched.has_value()) << launched.error().message;
    drainMainQueue();
    EXPECT_TRUE(processEventsUntil([] { return visibleWindowTitled(QStringLiteral("brisanto cloud")) != nullptr; }));
    auto registry = std::static_pointer_cast<Platform::FileExtensionRegistry>(m_extensionRegistry);
    EXPECT_TRUE(registry->registrations().empty());
    EXPECT_TRUE(resolved<StatusItemController>()->isEnabled());
    m_delegate->applicationWillTerminate();
}

} // namespace
} // namespace Orvella::Testing
