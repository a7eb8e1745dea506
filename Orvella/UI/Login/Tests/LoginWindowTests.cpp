#include "Orvella/Login/TestSupport/GatedLogin.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/UI/Login/LoginWindowController.hpp"
#include "Orvella/UI/Password/RequestPasswordWindowController.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/Views/ColoredView.hpp"
#include "Orvella/UI/Views/HyperlinkButton.hpp"
#include "Orvella/UI/Views/ProgressSheet.hpp"
#include "Orvella/UI/Views/PushTransition.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

// A login that, once let through, makes the fake API manager report logged in.
struct LoginWindowFixture {
    GatedLogin login;
    Reactive::MutableProperty<bool> loggedIn { false };
    std::shared_ptr<CountingTracking> tracking = std::make_shared<CountingTracking>();
    std::shared_ptr<RecordingNavigatorActions> actions = std::make_shared<RecordingNavigatorActions>();
    std::shared_ptr<LoginWindowController> controller;

    explicit LoginWindowFixture(std::optional<std::string> lastUserName = std::nullopt, bool startLoggedIn = false)
    {
        setPushTransitionsEnabled(false);
        loggedIn.set(startLoggedIn);
        controller = make(std::move(lastUserName));
    }

    std::shared_ptr<LoginWindowController> make(std::optional<std::string> lastUserName = std::nullopt)
    {
        auto model = std::make_shared<LoginViewModel>(LoginViewModel::Services { .configuration = std::make_shared<BrisantoClientConfiguration>(),
            .isLoggedIn = loggedIn,
            .lastUserName = std::move(lastUserName),
            .login = login.operation(),
            .tracking = tracking });
        auto made = std::make_shared<LoginWindowController>(model, std::make_shared<BrisantoTheme>(), actions);
        made->loadWindow();
        return made;
    }

    void type(QLineEdit* field, const QString& text) { QTest::keyClicks(field, text); }
    void settle() { QCoreApplication::processEvents(); }
};

// Whether the label draws its text as it is: the same pixels as when it is
// told outright to take its text as plain text (markup read as such would be
// drawn otherwise, a link as a link).
bool drawsItsTextAsItIs(QLabel* label)
{
    const QImage shown = label->grab().toImage();
    const Qt::TextFormat format = label->textFormat();
    label->setTextFormat(Qt::PlainText);
    const QImage plain = label->grab().toImage();
    label->setTextFormat(format);
    return shown == plain;
}

const QString linkFromTheService = QStringLiteral("<a href=\"file:///etc/passwd\">Anmeldung fehlgeschlagen, hier klicken</a>");

} // namespace

TEST(LoginWindowTests, brandTextsColoursAndFirstPlacement)
{
    LoginWindowFixture fixture;
    auto& window = *fixture.controller;
    fixture.settle();
    EXPECT_EQ(window.embeddedView(), window.loginView());
    EXPECT_EQ(window.successLabel()->text(), QStringLiteral("Ihre brisanto cloud wurde erfolgreich installiert."));
    EXPECT_EQ(window.openFolderButton()->text(), QStringLiteral("brisanto cloud Ordner öffnen"));
    ASSERT_TRUE(window.logoBannerView()->backgroundColor().has_value());
    EXPECT_EQ(*window.logoBannerView()->backgroundColor(), toQColor(BrisantoTheme().loginLogoBackgroundColor()));
    EXPECT_EQ(window.errorLabel()->palette().color(QPalette::WindowText), toQColor(BrisantoTheme().loginErrorTextColor()));
    EXPECT_FALSE(window.loginButton()->isEnabled());
    EXPECT_TRUE(window.passwordForgottenButton()->font().underline());

    window.passwordForgottenButton()->click();
    window.helpButton()->click();
    window.openFolderButton()->click();
    window.openSettingsButton()->click();
    std::vector<std::string> names;
    for (const auto& call : fixture.actions->calls) {
        names.push_back(call.first);
    }
    EXPECT_EQ(names, (std::vector<std::string> { "openPasswordForgottenURL", "openHelpURL", "openCloudFolder", "showPreferencesWindow" }));
    EXPECT_EQ(fixture.actions->calls[0].second, window.passwordForgottenButton());

    LoginWindowFixture already(std::nullopt, true);
    fixture.settle();
    EXPECT_EQ(already.controller->embeddedView(), already.controller->successView());
}

// The sheet is on exactly while the gated login is held; then the welcome
// view; after a logout the form is back, its password empty and the login off.
TEST(LoginWindowTests, progressSheetWelcomeAndBackAfterLogout)
{
    LoginWindowFixture fixture(std::string("anna@example.org"));
    auto& window = *fixture.controller;
    fixture.controller->showWindow();
    fixture.settle();
    EXPECT_EQ(window.usernameField()->text(), QStringLiteral("anna@example.org"));
    // With a remembered name the keyboard is at the password; without one at the name.
    EXPECT_EQ(window.loadWindow()->focusWidget(), window.passwordField());
    LoginWindowFixture fresh;
    EXPECT_EQ(fresh.controller->loadWindow()->focusWidget(), fresh.controller->usernameField());
    fixture.type(window.passwordField(), QStringLiteral("geheim"));
    ASSERT_TRUE(window.loginButton()->isEnabled());
    EXPECT_FALSE(window.progressSheet()->isShown());
    window.loginButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return window.progressSheet()->isShown(); }));
    EXPECT_TRUE(fixture.login.isHeld());
    EXPECT_EQ(window.progressSheet()->progressLabel()->text(), QStringLiteral("Anmeldung bei brisanto cloud \u2026"));
    EXPECT_EQ(window.progressSheet()->progressIndicator()->maximum(), 0);
    EXPECT_FALSE(window.loginButton()->isEnabled());
    ASSERT_EQ(fixture.login.sent.size(), 1u);
    EXPECT_EQ(fixture.login.sent[0].username, "anna@example.org");
    EXPECT_EQ(fixture.login.sent[0].password, "geheim");

    fixture.loggedIn.set(true);
    fixture.login.succeed();
    ASSERT_TRUE(processEventsUntil([&] { return !window.progressSheet()->isShown(); }));
    ASSERT_TRUE(processEventsUntil([&] { return window.embeddedView() == window.successView(); }));
    EXPECT_EQ(fixture.tracking->logins, 1);

    fixture.loggedIn.set(false);
    ASSERT_TRUE(processEventsUntil([&] { return window.embeddedView() == window.loginView(); }));
    EXPECT_EQ(window.passwordField()->text(), QString());
    EXPECT_EQ(window.usernameField()->text(), QStringLiteral("anna@example.org"));
    EXPECT_FALSE(window.loginButton()->isEnabled());
    window.loginButton()->click();
    fixture.settle();
    EXPECT_EQ(fixture.login.sent.size(), 1u);
}

// A failure empties the password field and the typed password: the old one
// is not sent again; an empty reason leaves the field alone.
// Return logs in; after a failure the keyboard is back in the emptied password field.
TEST(LoginWindowTests, failureEmptiesThePasswordAndKeepsTheReason)
{
    LoginWindowFixture fixture;
    auto& window = *fixture.controller;
    fixture.controller->showWindow();
    auto* topLevel = window.usernameField()->window();
    topLevel->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(topLevel));
    window.usernameField()->setFocus();
    fixture.type(window.usernameField(), QStringLiteral("anna"));
    QTest::keyClick(window.usernameField(), Qt::Key_Tab);
    EXPECT_TRUE(window.passwordField()->hasFocus());
    fixture.type(window.passwordField(), QStringLiteral("falsch"));
    QTest::keyClick(window.passwordField(), Qt::Key_Return);
    ASSERT_TRUE(fixture.login.isHeld());
    ASSERT_TRUE(processEventsUntil([&] { return window.progressSheet()->isShown(); }));
    fixture.login.fail(ReasonError("Benutzername oder Passwort ungültig."));
    ASSERT_TRUE(processEventsUntil([&] { return !window.errorLabel()->text().isEmpty(); }));
    ASSERT_TRUE(processEventsUntil([&] { return !window.progressSheet()->isShown(); }));
    fixture.settle();
    EXPECT_EQ(window.errorLabel()->text(), QStringLiteral("Benutzername oder Passwort ungültig."));
    EXPECT_EQ(window.passwordField()->text(), QString());
    EXPECT_TRUE(window.passwordField()->hasFocus());
    EXPECT_FALSE(window.progressSheet()->isShown());
    EXPECT_FALSE(window.loginButton()->isEnabled());
    window.loginButton()->click();
    EXPECT_EQ(fixture.login.sent.size(), 1u);

    fixture.type(window.passwordField(), QStringLiteral("x"));
    EXPECT_EQ(window.errorLabel()->text(), QString());
    window.loginButton()->click();
    ASSERT_EQ(fixture.login.sent.size(), 2u);
    EXPECT_EQ(fixture.login.sent[1].password, "x");
    fixture.login.fail(ReasonError(""));
    fixture.settle();
    EXPECT_EQ(window.passwordField()->text(), QStringLiteral("x"));
    EXPECT_TRUE(window.loginButton()->isEnabled());
}

// Every close of the window lets the visibility controller drop its
// controller; the next show builds a fresh one with the user name stored by then.
TEST(LoginWindowTests, closeReleasesTheControllerAndItsWindowLater)
{
    LoginWindowFixture fixture;
    std::optional<std::string> stored;
    WindowVisibilityController<LoginWindowController> visibility([&] { return fixture.make(stored); });
    visibility.show();
    auto first = visibility.windowController();
    QPointer<QWidget> firstWindow(static_cast<QWidget*>(const_cast<void*>(first->window())));
    first.reset();
    firstWindow->close();
    EXPECT_EQ(visibility.windowController(), nullptr);
    ASSERT_TRUE(processEventsUntil([&] { return firstWindow.isNull(); }));
    stored = "berta";
    visibility.show();
    EXPECT_EQ(visibility.windowController()->usernameField()->text(), QStringLiteral("berta"));
    visibility.hide();
    EXPECT_EQ(visibility.windowController(), nullptr);
}

TEST(RequestPasswordWindowTests, nameReadOnlyButtonsSheetAndFailure)
{
    GatedLogin login;
    int logouts = 0;
    int helps = 0;
    auto model = std::make_shared<RequestPasswordViewModel>(RequestPasswordViewModel::Services { .clientName = "brisanto cloud",
        .lastUserName = "anna",
        .login = login.operation(),
        .logout = [&] { ++logouts; },
        .help = [&] { ++helps; },
        .tracking = std::make_shared<CountingTracking>() });
    RequestPasswordWindowController controller(model, std::make_shared<BrisantoTheme>(), std::make_shared<CountingTracking>());
    controller.showWindow();
    EXPECT_EQ(controller.usernameField()->text(), QStringLiteral("anna"));
    EXPECT_TRUE(controller.usernameField()->isReadOnly());
    // The name takes no focus; the keyboard is at the password.
    EXPECT_EQ(controller.usernameField()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(controller.loadWindow()->focusWidget(), controller.passwordField());
    EXPECT_FALSE(controller.loginButton()->isEnabled());
    EXPECT_TRUE(controller.logoutButton()->isEnabled());
    EXPECT_TRUE(controller.helpButton()->isEnabled());
    QTest::keyClicks(controller.passwordField(), QStringLiteral("neu"));
    controller.loginButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return controller.progressSheet()->isShown(); }));
    EXPECT_EQ(controller.progressSheet()->progressLabel()->text(), QStringLiteral("Anmeldung bei brisanto cloud \u2026"));
    ASSERT_EQ(login.sent.size(), 1u);
    EXPECT_EQ(login.sent[0].username, "anna");
    login.fail(ReasonError("Bitte prüfen Sie ihre E-Mail-Adresse."));
    ASSERT_TRUE(processEventsUntil([&] { return !controller.progressSheet()->isShown(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.errorLabel()->text(), QStringLiteral("Bitte prüfen Sie ihre E-Mail-Adresse."));
    EXPECT_EQ(controller.passwordField()->text(), QString());
    EXPECT_FALSE(controller.loginButton()->isEnabled());
    controller.helpButton()->click();
    controller.logoutButton()->click();
    EXPECT_EQ(helps, 1);
    EXPECT_EQ(logouts, 1);
}

// The reason a failed login shows is the service's own text: shown as it
// came (never drawn as a link), in the login and in the password window.
TEST(LoginWindowTests, aReasonFromTheServiceIsDrawnAsItCameInBothWindows)
{
    LoginWindowFixture fixture;
    auto& window = *fixture.controller;
    window.showWindow();
    fixture.type(window.usernameField(), QStringLiteral("anna"));
    fixture.type(window.passwordField(), QStringLiteral("falsch"));
    window.loginButton()->click();
    ASSERT_TRUE(fixture.login.isHeld());
    fixture.login.fail(ReasonError(linkFromTheService.toStdString()));
    ASSERT_TRUE(processEventsUntil([&] { return !window.errorLabel()->text().isEmpty() && !window.progressSheet()->isShown(); }));
    EXPECT_EQ(window.errorLabel()->text(), linkFromTheService);
    EXPECT_TRUE(drawsItsTextAsItIs(window.errorLabel()));

    GatedLogin login;
    auto model = std::make_shared<RequestPasswordViewModel>(RequestPasswordViewModel::Services { .clientName = "brisanto cloud",
        .lastUserName = "anna",
        .login = login.operation(),
        .logout = [] {},
        .help = [] {},
        .tracking = std::make_shared<CountingTracking>() });
    RequestPasswordWindowController controller(model, std::make_shared<BrisantoTheme>(), std::make_shared<CountingTracking>());
    controller.showWindow();
    QTest::keyClicks(controller.passwordField(), QStringLiteral("neu"));
    controller.loginButton()->click();
    ASSERT_EQ(login.sent.size(), 1u);
    login.fail(ReasonError(linkFromTheService.toStdString()));
    ASSERT_TRUE(processEventsUntil([&] { return !controller.errorLabel()->text().isEmpty() && !controller.progressSheet()->isShown(); }));
    EXPECT_EQ(controller.errorLabel()->text(), linkFromTheService);
    EXPECT_TRUE(drawsItsTextAsItIs(controller.errorLabel()));
}
