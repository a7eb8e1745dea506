// The login window over the real API client manager, against the local
// service: a login request held at the service's gate keeps the progress
// sheet up; the stored login switches the window to its welcome view.

#include "Orvella/Login/TestSupport/GatedLogin.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/Tests/ServiceFixture.hpp"
#include "Orvella/UI/Login/LoginWindowController.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/Views/ProgressSheet.hpp"
#include "Orvella/UI/Views/PushTransition.hpp"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

class LoginWindowServiceTests : public ServiceFixture {
protected:
    std::shared_ptr<CountingTracking> m_tracking = std::make_shared<CountingTracking>();
    std::shared_ptr<LoginWindowController> m_window;

    void SetUp() override
    {
        ServiceFixture::SetUp();
        setPushTransitionsEnabled(false);
        auto model = std::make_shared<LoginViewModel>(LoginViewModel::Services {
            .configuration = std::make_shared<BrisantoClientConfiguration>(),
            .isLoggedIn = m_manager->isLoggedIn(),
            .lastUserName = std::nullopt,
            .login = loginOperation(m_manager),
            .tracking = m_tracking });
        m_window = std::make_shared<LoginWindowController>(model, std::make_shared<BrisantoTheme>(), std::make_shared<RecordingNavigatorActions>());
        m_window->showWindow();
    }

    void TearDown() override
    {
        m_window.reset();
        QCoreApplication::processEvents();
        ServiceFixture::TearDown();
    }

    void type(const std::string& user, const std::string& password)
    {
        QTest::keyClicks(m_window->usernameField(), QString::fromStdString(user));
        QTest::keyClicks(m_window->passwordField(), QString::fromStdString(password));
    }
};

} // namespace

TEST_F(LoginWindowServiceTests, sheetWhileTheLoginIsHeldThenWelcomeThenBackAfterLogout)
{
    serveCustomer();
    auto gate = m_server->addGate("POST", "/v2.0/login");
    type(m_credentials.username, m_credentials.password);
    m_window->loginButton()->click();
    ASSERT_TRUE(gate->waitForWaiting(1, std::chrono::seconds(10)));
    ASSERT_TRUE(processEventsUntil([&] { return m_window->progressSheet()->isShown(); }));
    EXPECT_EQ(m_window->progressSheet()->progressLabel()->text(), QStringLiteral("Anmeldung bei brisanto cloud \u2026"));
    EXPECT_FALSE(m_window->loginButton()->isEnabled());
    EXPECT_EQ(m_window->embeddedView(), m_window->loginView());
    gate->open();
    ASSERT_TRUE(processEventsUntil([&] { return m_window->embeddedView() == m_window->successView(); }, 10000));
    ASSERT_TRUE(processEventsUntil([&] { return !m_window->progressSheet()->isShown(); }));
    EXPECT_TRUE(m_manager->isLoggedIn().value());
    EXPECT_EQ(m_tracking->logins, 1);
    EXPECT_EQ(customerEmail(*m_manager).value(), m_credentials.username);

    m_manager->logout();
    ASSERT_TRUE(processEventsUntil([&] { return m_window->embeddedView() == m_window->loginView(); }));
    EXPECT_EQ(m_window->passwordField()->text(), QString());
    EXPECT_EQ(m_window->usernameField()->text(), QString::fromStdString(m_credentials.username));
    EXPECT_FALSE(m_window->loginButton()->isEnabled());
}

TEST_F(LoginWindowServiceTests, rejectedPasswordShowsTheServiceReasonAndEmptiesTheField)
{
    type(m_credentials.username, "falsch");
    m_window->loginButton()->click();
    ASSERT_TRUE(processEventsUntil([&] { return !m_window->errorLabel()->text().isEmpty(); }, 10000));
    ASSERT_TRUE(processEventsUntil([&] { return !m_window->progressSheet()->isShown(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_window->passwordField()->text(), QString());
    EXPECT_EQ(m_window->embeddedView(), m_window->loginView());
    EXPECT_FALSE(m_manager->isLoggedIn().value());
    EXPECT_FALSE(m_window->loginButton()->isEnabled());
    EXPECT_EQ(m_tracking->logins, 0);
}
