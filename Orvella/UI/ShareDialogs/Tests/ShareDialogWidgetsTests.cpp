#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/ShareDialogs/TestSupport/ShareDialogFakes.hpp"
#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/ShareDialogs/PrivateShareViewController.hpp"
#include "Orvella/UI/ShareDialogs/ShareDurationViewController.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <QAbstractButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <chrono>

namespace Orvella {
namespace {

using namespace std::chrono_literals;

// The dialog as the navigator shows it: the content of a window of its own.
QWidget* inWindow(QWidget* content)
{
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    (new QVBoxLayout(window))->addWidget(content);
    window->show();
    return window;
}

TEST(ShareDurationViewController, ShowsTheLifetimeAndCreatesWithTheChosenCellThenCloses)
{
    auto service = std::make_shared<Testing::FakePublicShareService>();
    auto* controller = new ShareDurationViewController(ShareDurationViewModel {
        .file = Testing::sharedItem(7, "Bericht.pdf"),
        .shareService = service,
        .fileStore = std::make_shared<Testing::ShareRecordStore>(),
        .navigator = std::make_shared<Testing::RecordingShareDurationNavigator>(),
        .userNotificationCenter = std::make_shared<Testing::RecordingNotificationCenter>(),
        .uiScheduler = std::make_shared<Reactive::TestScheduler>(),
    });
    QPointer<QWidget> window = inWindow(controller);
    EXPECT_EQ(controller->durationMatrix()->checkedId(), 14);
    std::vector<QString> titles;
    for (int tag : { 7, 14, 30, 0 }) {
        titles.push_back(controller->durationMatrix()->button(tag)->text());
    }
    EXPECT_EQ(titles, (std::vector<QString> { "7 Tage", "14 Tage", "30 Tage", "Unbegrenzt" }));

    controller->durationMatrix()->button(0)->click();
    controller->durationMatrix()->button(30)->click();
    controller->createButton()->click();
    ASSERT_EQ(service->created.size(), 1u);
    EXPECT_EQ(service->created[0].second, Sync::ShareLifetime::Long);
    ASSERT_TRUE(Testing::processEventsUntil([&] { return window.isNull(); })) << "the window closes before the answer";
}

class PrivateShareViewControllerTest : public ::testing::Test {
protected:
    std::shared_ptr<Testing::FakePrivateShareService> service = std::make_shared<Testing::FakePrivateShareService>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    std::shared_ptr<Reactive::TestScheduler> mainQueue = std::make_shared<Reactive::TestScheduler>();
    PrivateShareViewController* controller = new PrivateShareViewController(
        std::make_shared<PrivateShareViewModel>(Testing::sharedItem(9, "Projekte", true),
            PrivateShareViewModel::Services {
                .notificationCenter = std::make_shared<Testing::RecordingNotificationCenter>(),
                .shareService = service,
                .fileStore = std::make_shared<Testing::ShareRecordStore>(),
                .uiScheduler = std::make_shared<Reactive::TestScheduler>(),
            }),
        alerts, mainQueue);
    QPointer<QWidget> window = inWindow(controller);

    ~PrivateShareViewControllerTest() override { delete window.data(); }
};

TEST_F(PrivateShareViewControllerTest, TypedAddressesBecomeRecipientsAndEnableSubmit)
{
    EXPECT_EQ(window->windowTitle(), "Freigabe für Ordner \"Projekte\"");
    ASSERT_TRUE(Testing::processEventsUntil([&] { return !controller->submitButton()->isEnabled(); }));
    controller->recipientField()->setFocus();
    QTest::keyClicks(controller->recipientField(), "anna@example.de bernd@exa");
    EXPECT_EQ(controller->viewModel().emailStrings().value(), (std::vector<std::string> { "anna@example.de", "bernd@exa" }));
    EXPECT_EQ(controller->styleForToken("anna@example.de"), TokenStyle::chip);
    EXPECT_EQ(controller->styleForToken("bernd@exa"), TokenStyle::plain);
    QTest::keyClicks(controller->recipientField(), "mple.org");
    QTest::keyClick(controller->recipientField(), Qt::Key_Return);
    QTest::keyClicks(controller->recipientField(), "carla@example.com");
    EXPECT_EQ(controller->viewModel().emailStrings().value().size(), 3u);
    ASSERT_TRUE(Testing::processEventsUntil([&] { return controller->submitButton()->isEnabled(); }));

    controller->submitButton()->click();
    ASSERT_EQ(service->invitations.size(), 1u);
    EXPECT_EQ(service->invitations[0].message, "");
    EXPECT_TRUE(alerts->shown.empty()) << "a submit closes without the question";
    ASSERT_TRUE(Testing::processEventsUntil([&] { return window.isNull(); }));
}

// Tab leaves the recipients for the message, and types no tab.
TEST_F(PrivateShareViewControllerTest, TabMovesFromTheRecipientsToTheMessage)
{
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.data()));
    controller->recipientField()->setFocus();
    QTest::keyClicks(controller->recipientField(), "anna@example.de");
    QTest::keyClick(controller->recipientField(), Qt::Key_Tab);
    EXPECT_TRUE(controller->messageView()->hasFocus());
    EXPECT_EQ(controller->recipientField()->toPlainText(), QStringLiteral("anna@example.de"));
    QTest::keyClicks(controller->messageView(), "Hallo");
    EXPECT_EQ(controller->viewModel().message().value(), "Hallo");
}

TEST_F(PrivateShareViewControllerTest, ClosingWithRecipientsAsksAndAbandonClosesLater)
{
    QTest::keyClicks(controller->messageView(), "Nur Text");
    EXPECT_EQ(controller->viewModel().message().value(), "Nur Text");
    QTest::keyClicks(controller->recipientField(), "anna@example.de");
    alerts->answers = { AlertPresenter::firstButton + 1, AlertPresenter::firstButton };
    window->close();
    EXPECT_TRUE(window->isVisible()) << "\"Freigabe fortsetzen\" keeps the window";
    window->close();
    EXPECT_EQ(alerts->shown.size(), 2u);
    EXPECT_TRUE(window->isVisible());
    mainQueue->advance(350ms);
    ASSERT_TRUE(Testing::processEventsUntil([&] { return window.isNull(); }));
    EXPECT_EQ(alerts->shown.size(), 2u) << "the delayed close asks nothing again";
    EXPECT_TRUE(service->invitations.empty());
}

TEST_F(PrivateShareViewControllerTest, AMessageAloneClosesWithoutAQuestion)
{
    QTest::keyClicks(controller->messageView(), "Hallo");
    window->close();
    EXPECT_TRUE(alerts->shown.empty());
    ASSERT_TRUE(Testing::processEventsUntil([&] { return window.isNull(); }));
}

} // namespace
} // namespace Orvella
