#include "Orvella/Login/LoginViewModel.hpp"
#include "Orvella/Login/TestSupport/GatedLogin.hpp"
#include "Orvella/Password/RequestPasswordViewModel.hpp"

#include <gtest/gtest.h>

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

struct LoginFixture {
    GatedLogin login;
    std::shared_ptr<CountingTracking> tracking = std::make_shared<CountingTracking>();
    Reactive::MutableProperty<bool> loggedIn { false };
    std::unique_ptr<LoginViewModel> viewModel;

    explicit LoginFixture(std::shared_ptr<const ClientConfiguration> brand = std::make_shared<BrisantoClientConfiguration>(),
        std::optional<std::string> lastUserName = std::nullopt)
    {
        viewModel = std::make_unique<LoginViewModel>(LoginViewModel::Services {
            .configuration = std::move(brand),
            .isLoggedIn = loggedIn,
            .lastUserName = std::move(lastUserName),
            .login = login.operation(),
            .tracking = tracking });
    }

    void press() { viewModel->loginAction().apply(std::any(1)).start(); }
};

} // namespace

TEST(LoginViewModelTests, userNameSuffixRule)
{
    BrisantoClientConfiguration brand;
    const auto& suffix = brand.loginUserNameSuffix();
    ASSERT_FALSE(suffix.empty());
    EXPECT_EQ(loginUserName("anna@example.org", suffix), "anna@example.org");
    EXPECT_EQ(loginUserName("@anna", suffix), "@anna");
    EXPECT_EQ(loginUserName("anna@", suffix), "anna@");
    EXPECT_EQ(loginUserName("anna", suffix), "anna" + suffix);
    EXPECT_EQ(loginUserName("anna.", suffix), "anna." + suffix);

    LoginFixture fixture;
    fixture.viewModel->username().set("anna");
    fixture.viewModel->password().set("geheim");
    EXPECT_EQ(fixture.viewModel->credentials().value().username, "anna" + suffix);
    fixture.press();
    ASSERT_EQ(fixture.login.sent.size(), 1u);
    EXPECT_EQ(fixture.login.sent[0].username, "anna" + suffix);
    EXPECT_EQ(fixture.login.sent[0].password, "geheim");
}

// Enabled exactly while both fields hold something (blanks count) and no login runs.
TEST(LoginViewModelTests, enabledWhileValidAndNotRunning)
{
    LoginFixture fixture;
    auto& model = *fixture.viewModel;
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    model.username().set(" ");
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    model.password().set(" ");
    EXPECT_TRUE(model.loginAction().isEnabled().value());
    fixture.press();
    EXPECT_TRUE(model.loginAction().isExecuting().value());
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    fixture.press();
    EXPECT_EQ(fixture.login.sent.size(), 1u);
    fixture.login.succeed();
    EXPECT_FALSE(model.loginAction().isExecuting().value());
    EXPECT_TRUE(model.loginAction().isEnabled().value());
    model.username().set("");
    EXPECT_FALSE(model.loginAction().isEnabled().value());
}

TEST(LoginViewModelTests, storedUserNameNeedsOnlyThePassword)
{
    LoginFixture fixture(std::make_shared<BrisantoClientConfiguration>(), "berta@example.org");
    EXPECT_EQ(fixture.viewModel->username().value(), "berta@example.org");
    EXPECT_FALSE(fixture.viewModel->loginAction().isEnabled().value());
    fixture.viewModel->password().set("x");
    EXPECT_TRUE(fixture.viewModel->loginAction().isEnabled().value());
}

// The reason shows, the next edit empties it; only the ravik brand rewrites it;
// an empty reason leaves the text empty.
TEST(LoginViewModelTests, errorTextFollowsReasonsAndEdits)
{
    const std::string reason = "Die Authentifizierung ist fehlgeschlagen. Bitte prüfen Sie ihre E-Mail-Adresse und ihr Passwort.";
    {
        LoginFixture fixture;
        auto& model = *fixture.viewModel;
        model.username().set("a@b");
        model.password().set("p");
        fixture.press();
        fixture.login.fail(ReasonError(reason));
        EXPECT_EQ(model.errorText().value(), reason);
        model.username().set("a@bc");
        EXPECT_EQ(model.errorText().value(), "");
        fixture.press();
        fixture.login.fail(ReasonError(reason));
        model.password().set("pq");
        EXPECT_EQ(model.errorText().value(), "");
        fixture.press();
        fixture.login.fail(ReasonError(""));
        EXPECT_EQ(model.errorText().value(), "");
        EXPECT_EQ(fixture.tracking->logins, 0);
    }
    {
        LoginFixture fixture(std::make_shared<RavikClientConfiguration>());
        auto& model = *fixture.viewModel;
        model.username().set("a@b");
        model.password().set("p");
        fixture.press();
        fixture.login.fail(ReasonError("E-Mail-Adresse oder Passwort ungültig. E-Mail-Adresse prüfen."));
        EXPECT_EQ(model.errorText().value(), "Benutzername oder Passwort ungültig. Benutzername prüfen.");
    }
}

// The window emptied the password field: no invisible password is sent, the
// error stays until the user types.
TEST(LoginViewModelTests, discardedPasswordDisablesLoginAndKeepsTheError)
{
    LoginFixture fixture;
    auto& model = *fixture.viewModel;
    model.username().set("a@b");
    model.password().set("alt");
    fixture.press();
    fixture.login.fail(ReasonError("falsch"));
    model.discardPassword();
    EXPECT_EQ(model.errorText().value(), "falsch");
    EXPECT_EQ(model.password().value(), "");
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    fixture.press();
    EXPECT_EQ(fixture.login.sent.size(), 1u);
    model.password().set("neu");
    fixture.press();
    ASSERT_EQ(fixture.login.sent.size(), 2u);
    EXPECT_EQ(fixture.login.sent[1].password, "neu");
}

TEST(LoginViewModelTests, appLoginPerSuccessAndWindowStateFollowsLogin)
{
    LoginFixture fixture;
    auto& model = *fixture.viewModel;
    EXPECT_EQ(model.windowState().value(), LoginWindowState::login);
    EXPECT_EQ(description(LoginWindowState::login), "Login");
    EXPECT_EQ(description(LoginWindowState::welcome), "Welcome");
    model.username().set("a@b");
    model.password().set("p");
    fixture.press();
    fixture.login.succeed();
    EXPECT_EQ(fixture.tracking->logins, 1);
    fixture.press();
    fixture.login.fail(ReasonError("x"));
    EXPECT_EQ(fixture.tracking->logins, 1);
    fixture.loggedIn.set(true);
    EXPECT_EQ(model.windowState().value(), LoginWindowState::welcome);
    fixture.loggedIn.set(false);
    EXPECT_EQ(model.windowState().value(), LoginWindowState::login);
}

TEST(RequestPasswordViewModelTests, rulesOfThePasswordWindow)
{
    GatedLogin login;
    auto tracking = std::make_shared<CountingTracking>();
    int logouts = 0;
    int helps = 0;
    RequestPasswordViewModel model({ .clientName = "brisanto cloud",
        .lastUserName = "anna",
        .login = login.operation(),
        .logout = [&] { ++logouts; },
        .help = [&] { ++helps; },
        .tracking = tracking });
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    EXPECT_TRUE(model.logoutAction().isEnabled().value());
    EXPECT_TRUE(model.helpAction().isEnabled().value());
    model.password().set("p");
    model.loginAction().apply({}).start();
    ASSERT_EQ(login.sent.size(), 1u);
    EXPECT_EQ(login.sent[0].username, "anna");
    EXPECT_TRUE(model.logoutAction().isEnabled().value());
    login.fail(ReasonError("Bitte prüfen Sie ihre E-Mail-Adresse."));
    EXPECT_EQ(model.errorText().value(), "Bitte prüfen Sie ihre E-Mail-Adresse.");
    model.discardPassword();
    EXPECT_EQ(model.errorText().value(), "Bitte prüfen Sie ihre E-Mail-Adresse.");
    EXPECT_FALSE(model.loginAction().isEnabled().value());
    model.password().set("q");
    EXPECT_EQ(model.errorText().value(), "");
    model.loginAction().apply({}).start();
    login.succeed();
    EXPECT_EQ(tracking->logins, 1);
    int logoutCompletions = 0;
    model.logoutAction().completed().observeValues([&](Reactive::Unit) { ++logoutCompletions; });
    model.logoutAction().apply({}).start();
    model.helpAction().apply({}).start();
    EXPECT_EQ(logouts, 1);
    EXPECT_EQ(helps, 1);
    EXPECT_EQ(logoutCompletions, 1);
}

TEST(RequestPasswordViewModelTests, userNameFromSettingsElseCredentialsElseNone)
{
    const Quarlink::Credentials stored { .username = "aus@keychain", .password = "p" };
    EXPECT_EQ(requestPasswordUserName("anna", stored), "anna");
    EXPECT_EQ(requestPasswordUserName(std::nullopt, stored), "aus@keychain");
    EXPECT_EQ(requestPasswordUserName(std::string(), stored), "aus@keychain");
    EXPECT_EQ(requestPasswordUserName(std::nullopt, std::nullopt), std::nullopt);
}
