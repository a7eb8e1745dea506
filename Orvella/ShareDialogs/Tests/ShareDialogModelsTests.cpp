#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/ShareDialogs/EmailAddress.hpp"
#include "Orvella/ShareDialogs/PrivateShareCloseQuestion.hpp"
#include "Orvella/ShareDialogs/PrivateShareViewModel.hpp"
#include "Orvella/ShareDialogs/ShareDurationViewModel.hpp"
#include "Orvella/ShareDialogs/TestSupport/ShareDialogFakes.hpp"
#include "Orvella/Sharing/ShareError.hpp"
#include "Orvella/Sharing/ShareFlow.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace Orvella {
namespace {

using namespace std::chrono_literals;
using Testing::sharedItem;

std::shared_ptr<const Sync::PublicShareInfo> link(std::int64_t shareID, const char* address)
{
    return std::make_shared<Sync::PublicShareInfoItem>(shareID, 7, *Platform::URL::create(address), std::nullopt);
}

std::shared_ptr<const Sync::PrivateShareInfo> invitation(std::int64_t shareID, const char* email)
{
    return std::make_shared<Sync::PrivateShareInfoItem>(shareID, 7, true, Sync::ShareInfoStatus::Pending, std::nullopt, email, "Projekte");
}

TEST(ShareLifetimeDays, MapsEveryNumberOfDays)
{
    EXPECT_EQ(days(Sync::ShareLifetime::Short), 7);
    EXPECT_EQ(days(Sync::ShareLifetime::Medium), 14);
    EXPECT_EQ(days(Sync::ShareLifetime::Long), 30);
    EXPECT_EQ(days(Sync::ShareLifetime::Unlimited), 0);
    EXPECT_EQ(shareLifetime(7), Sync::ShareLifetime::Short);
    EXPECT_EQ(shareLifetime(14), Sync::ShareLifetime::Medium);
    EXPECT_EQ(shareLifetime(30), Sync::ShareLifetime::Long);
    for (int other : { 0, -7, 1, 8, 15, 31, 365, std::numeric_limits<int>::min() }) {
        EXPECT_EQ(shareLifetime(other), Sync::ShareLifetime::Unlimited) << other;
    }
}

class ShareDurationViewModelTest : public ::testing::Test {
protected:
    std::shared_ptr<Testing::FakePublicShareService> service = std::make_shared<Testing::FakePublicShareService>();
    std::shared_ptr<Testing::ShareRecordStore> store = std::make_shared<Testing::ShareRecordStore>();
    std::shared_ptr<Testing::RecordingShareDurationNavigator> navigator = std::make_shared<Testing::RecordingShareDurationNavigator>();
    std::shared_ptr<Testing::RecordingNotificationCenter> notifications = std::make_shared<Testing::RecordingNotificationCenter>();
    std::shared_ptr<Reactive::TestScheduler> ui = std::make_shared<Reactive::TestScheduler>();
    Sync::FileRef file = sharedItem(7, "Bericht.pdf");

    ShareDurationViewModel makeViewModel()
    {
        return ShareDurationViewModel {
            .file = file, .shareService = service, .fileStore = store, .navigator = navigator,
            .userNotificationCenter = notifications, .uiScheduler = ui,
        };
    }
};

TEST_F(ShareDurationViewModelTest, CreatesWithTheChosenLifetimeEvenAfterTheDialogIsGone)
{
    {
        auto viewModel = makeViewModel();
        EXPECT_EQ(viewModel.durationInDays(), 14);
        viewModel.createShare();
        viewModel.setDurationInDays(30);
        viewModel.createShare();
        viewModel.setDurationInDays(99);
        EXPECT_EQ(viewModel.lifetime, Sync::ShareLifetime::Unlimited);
    }
    ASSERT_EQ(service->created.size(), 2u);
    EXPECT_EQ(service->created[0].second, Sync::ShareLifetime::Medium);
    EXPECT_EQ(service->created[1].second, Sync::ShareLifetime::Long);

    // The dialog (and its view model) is gone; the answer still arrives.
    store->records[7].publicShare = link(1, "https://share.example/old");
    store->records[7].privateShares = { invitation(5, "a@example.de") };
    service->creations.succeed(0, link(2, "https://share.example/neu"));
    EXPECT_EQ(store->records[7].publicShare->publicURL().absoluteString(), "https://share.example/neu");
    ASSERT_EQ(store->records[7].privateShares.size(), 1u);
    EXPECT_EQ(store->records[7].privateShares[0]->email(), "a@example.de");
    EXPECT_EQ(navigator->copied, std::vector<std::string> { "https://share.example/neu" });
    ui->run();
    EXPECT_TRUE(notifications->delivered.empty());
}

TEST_F(ShareDurationViewModelTest, AFailureIsAnnouncedWithItsReasonOnTheUIThreadOnly)
{
    auto viewModel = makeViewModel();
    viewModel.createShare();
    store->records[7].publicShare = link(1, "https://share.example/old");
    service->creations.fail(0, Reactive::AnyError(ShareError("Freigabe nicht möglich", "Der Server lehnt die Freigabe ab.")));
    EXPECT_TRUE(notifications->delivered.empty()) << "delivered before the hop to the UI thread";
    ui->run();
    EXPECT_EQ(notifications->delivered, std::vector<std::string> { "Freigabe fehlgeschlagen | Der Server lehnt die Freigabe ab." });
    EXPECT_EQ(store->writes, 0);
    EXPECT_EQ(store->records[7].publicShare->publicURL().absoluteString(), "https://share.example/old");
    EXPECT_TRUE(navigator->copied.empty());

    notifications->enabled = false;
    viewModel.createShare();
    service->creations.fail(1, Reactive::AnyError(ShareError("x", "y")));
    ui->run();
    EXPECT_EQ(notifications->delivered.size(), 1u);
}

// The shared database as the application and the extension open it: a store
// the dialogs write through and a second one that reads what was committed.
class StoredShareTest : public ::testing::Test {
protected:
    Platform::Testing::TemporaryDirectory folder;
    Platform::DatabaseFactory database = [configuration = Sync::cloudDatabaseConfiguration(folder / "Cloud.realm")] {
        return Platform::Database::open(configuration);
    };
    std::shared_ptr<Reactive::QueueScheduler> deliveries = Reactive::QueueScheduler::make("Test.SharedDatabase");
    std::shared_ptr<Sync::RealmFileStore> store = std::make_shared<Sync::RealmFileStore>(database, deliveries);
    std::shared_ptr<Testing::RecordingNotificationCenter> notifications = std::make_shared<Testing::RecordingNotificationCenter>();
    std::shared_ptr<Reactive::TestScheduler> ui = std::make_shared<Reactive::TestScheduler>();

    // The record as the last listing left it: the service knew no share of it.
    Sync::FileRef listed(std::int64_t id, const std::string& name, bool folder = false)
    {
        auto item = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
            .syncFileID = Sync::SyncFileID::remote(id),
            .path = "/" + name,
            .fileName = name,
            .syncParentID = Sync::SyncFileID::remote(1),
            .type = folder ? Sync::FileType::folder() : Sync::FileType::file("text/plain"),
        });
        EXPECT_TRUE(store->add(*item).has_value());
        EXPECT_NE(reread(id), nullptr);
        return item;
    }

    Sync::FileRef reread(std::int64_t id) const { return Sync::RealmFileStore(database, deliveries).file(Sync::SyncFileID::remote(id)); }
};

// Right after a link is made the stored record says the file has one, so the
// extension's entry reads as the share exists; the link itself is stored with it.
TEST_F(StoredShareTest, ANewLinkMarksTheStoredRecordAsShared)
{
    auto file = listed(7, "Bericht.pdf");
    auto service = std::make_shared<Testing::FakePublicShareService>();
    ShareDurationViewModel {
        .file = file, .shareService = service, .fileStore = store,
        .navigator = std::make_shared<Testing::RecordingShareDurationNavigator>(),
        .userNotificationCenter = notifications, .uiScheduler = ui,
    }.createShare();
    ASSERT_NE(reread(7), nullptr);
    ASSERT_FALSE(reread(7)->hasPublicShare());
    service->creations.succeed(0, link(2, "https://share.example/neu"));
    auto stored = std::dynamic_pointer_cast<Sync::FileWrapperItem>(reread(7));
    ASSERT_NE(stored, nullptr);
    EXPECT_TRUE(stored->hasPublicShare());
    ASSERT_NE(stored->publicShareInfo(), nullptr);
    EXPECT_EQ(stored->publicShareInfo()->publicURL().absoluteString(), "https://share.example/neu");
    EXPECT_FALSE(stored->hasPrivateShares());
    EXPECT_EQ(stored->path(), "/Bericht.pdf");
}

// Right after an invitation is sent the folder's record says it is shared privately.
TEST_F(StoredShareTest, AnInvitationMarksTheStoredFolderAsSharedPrivately)
{
    auto folderItem = listed(8, "Projekte", true);
    auto service = std::make_shared<Testing::FakePrivateShareService>();
    auto viewModel = std::make_unique<PrivateShareViewModel>(folderItem,
        PrivateShareViewModel::Services { .notificationCenter = notifications, .shareService = service, .fileStore = store, .uiScheduler = ui });
    viewModel->emailStrings().set({ "anna@example.de" });
    viewModel->createShare();
    service->creations.succeed(0, { invitation(9, "anna@example.de") });
    auto stored = std::dynamic_pointer_cast<Sync::FileWrapperItem>(reread(8));
    ASSERT_NE(stored, nullptr);
    EXPECT_TRUE(stored->hasPrivateShares());
    ASSERT_EQ(stored->privateShareInfos().size(), 1u);
    EXPECT_EQ(stored->privateShareInfos()[0]->email(), "anna@example.de");
    EXPECT_FALSE(stored->hasPublicShare());
}

TEST(EmailAddress, MatchesTheWholeTextAgainstThePattern)
{
    const std::string sixtyFour(64, 'a');
    EXPECT_TRUE(isValidEmailAddress("anna.berg+cloud@mail-1.example.de"));
    EXPECT_TRUE(isValidEmailAddress("a@b.c" + std::string("o")));
    EXPECT_TRUE(isValidEmailAddress("a@example." + sixtyFour));
    EXPECT_FALSE(isValidEmailAddress("a@example." + sixtyFour + "a"));
    EXPECT_FALSE(isValidEmailAddress("a@example.d"));
    EXPECT_FALSE(isValidEmailAddress("a@example"));
    EXPECT_FALSE(isValidEmailAddress("@example.de"));
    EXPECT_FALSE(isValidEmailAddress("anna.example.de"));
    EXPECT_FALSE(isValidEmailAddress("anna@@example.de"));
    EXPECT_FALSE(isValidEmailAddress("jürgen@example.de"));
    EXPECT_FALSE(isValidEmailAddress("anna@exämple.de"));
    EXPECT_FALSE(isValidEmailAddress(" anna@example.de"));
    EXPECT_FALSE(isValidEmailAddress("anna@example.de\n"));
    EXPECT_FALSE(isValidEmailAddress(""));
    EXPECT_FALSE(containsOnlyValidEmailAddresses({}));
    EXPECT_TRUE(containsOnlyValidEmailAddresses({ "a@example.de", "b@example.org" }));
    EXPECT_FALSE(containsOnlyValidEmailAddresses({ "a@example.de", "b@example", "c@example.org" }));
}

class PrivateShareViewModelTest : public ::testing::Test {
protected:
    std::shared_ptr<Testing::FakePrivateShareService> service = std::make_shared<Testing::FakePrivateShareService>();
    std::shared_ptr<Testing::ShareRecordStore> store = std::make_shared<Testing::ShareRecordStore>();
    std::shared_ptr<Testing::RecordingNotificationCenter> notifications = std::make_shared<Testing::RecordingNotificationCenter>();
    std::shared_ptr<Reactive::TestScheduler> ui = std::make_shared<Reactive::TestScheduler>();
    std::unique_ptr<PrivateShareViewModel> viewModel = std::make_unique<PrivateShareViewModel>(sharedItem(7, "Projekte", true),
        PrivateShareViewModel::Services { .notificationCenter = notifications, .shareService = service, .fileStore = store, .uiScheduler = ui });
};

TEST_F(PrivateShareViewModelTest, SubmitAndCloseQuestionFollowTheRecipients)
{
    EXPECT_EQ(viewModel->title(), "Freigabe für Ordner \"Projekte\"");
    EXPECT_FALSE(viewModel->isValid().value());
    EXPECT_FALSE(viewModel->needsAbortConfirmation().value());
    viewModel->message().set("Nur eine Nachricht");
    EXPECT_FALSE(viewModel->needsAbortConfirmation().value());
    viewModel->emailStrings().set({ "anna@example" });
    EXPECT_FALSE(viewModel->isValid().value());
    EXPECT_TRUE(viewModel->needsAbortConfirmation().value());
    viewModel->emailStrings().set({ "anna@example.de", "bernd@example.org" });
    EXPECT_TRUE(viewModel->isValid().value());
    viewModel->emailStrings().set({});
    EXPECT_FALSE(viewModel->needsAbortConfirmation().value());
}

TEST_F(PrivateShareViewModelTest, SuccessReplacesOnlyThePrivateShares)
{
    viewModel->emailStrings().set({ "anna@example.de" });
    viewModel->createShare();
    EXPECT_FALSE(viewModel->needsAbortConfirmation().value());
    ASSERT_EQ(service->invitations.size(), 1u);
    EXPECT_EQ(service->invitations[0].message, "");
    EXPECT_EQ(service->invitations[0].recipients, std::vector<std::string> { "anna@example.de" });
    viewModel.reset();

    store->records[7].publicShare = link(1, "https://share.example/bleibt");
    store->records[7].privateShares = { invitation(3, "alt@example.de") };
    service->creations.succeed(0, { invitation(8, "anna@example.de"), invitation(9, "bernd@example.de") });
    EXPECT_TRUE(notifications->delivered.empty());
    ui->run();
    EXPECT_EQ(notifications->delivered, std::vector<std::string> { "Freigabe erfolgreich | Eine Einladung wurde per E-Mail versandt." });
    ASSERT_EQ(store->records[7].privateShares.size(), 2u);
    EXPECT_EQ(store->records[7].privateShares[0]->email(), "anna@example.de");
    EXPECT_EQ(store->records[7].privateShares[1]->email(), "bernd@example.de");
    EXPECT_EQ(store->records[7].publicShare->publicURL().absoluteString(), "https://share.example/bleibt");
}

TEST_F(PrivateShareViewModelTest, FailureNotifiesTheReasonAndNotificationsOffShowNothing)
{
    viewModel->emailStrings().set({ "anna@example.de" });
    viewModel->message().set("Hallo");
    viewModel->createShare();
    service->creations.fail(0, Reactive::AnyError(ShareError("Freigabe", "Der Ordner ist zu groß.")));
    ui->run();
    EXPECT_EQ(notifications->delivered, std::vector<std::string> { "Freigabe fehlgeschlagen | Der Ordner ist zu groß." });
    EXPECT_EQ(store->writes, 0);

    notifications->enabled = false;
    viewModel->createShare();
    viewModel->createShare();
    service->creations.succeed(1, {});
    service->creations.fail(2, Reactive::AnyError(ShareError("a", "b")));
    ui->run();
    EXPECT_EQ(notifications->delivered.size(), 1u);
}

TEST(PrivateShareCloseQuestion, AsksOnlyWithRecipientsAndClosesLaterOnAbandon)
{
    auto alerts = std::make_shared<ScriptedAlertPresenter>();
    auto mainQueue = std::make_shared<Reactive::TestScheduler>();
    Reactive::MutableProperty<bool> needsConfirmation(false);
    PrivateShareCloseQuestion question(needsConfirmation.property(), alerts, mainQueue);
    int closes = 0;
    EXPECT_TRUE(question.windowShouldClose([&] { ++closes; }));
    EXPECT_TRUE(alerts->shown.empty());

    needsConfirmation.set(true);
    alerts->answers = { AlertPresenter::firstButton + 1, AlertPresenter::firstButton };
    EXPECT_FALSE(question.windowShouldClose([&] { ++closes; }));
    mainQueue->advance(10s);
    EXPECT_EQ(closes, 0) << "\"Freigabe fortsetzen\" keeps the window";

    EXPECT_FALSE(question.windowShouldClose([&] { ++closes; }));
    ASSERT_EQ(alerts->shown.size(), 2u);
    EXPECT_EQ(alerts->shown[1].messageText, "Möchten Sie die Erstellung der Freigabe abbrechen?");
    EXPECT_EQ(alerts->shown[1].informativeText, "Ihre Eingaben werden verworfen. Es wird keine Freigabe angelegt.");
    EXPECT_EQ(alerts->shown[1].buttons, (std::vector<std::string> { "Freigabe abbrechen", "Freigabe fortsetzen" }));
    mainQueue->advance(349ms);
    EXPECT_EQ(closes, 0);
    mainQueue->advance(1ms);
    EXPECT_EQ(closes, 1);
}

// Records what a share flow presents.
class RecordingSharePresenter final : public SharePresenter {
public:
    std::vector<std::string> shown;
    void copyPublicLink(const Platform::URL& url) override { shown.push_back("copy " + url.absoluteString()); }
    void presentPublicLinkDialog(const Sync::FileRef& file) override { shown.push_back("link dialog " + file->fileName()); }
    void presentPrivateShareDialog(const Sync::FileRef& file) override { shown.push_back("share dialog " + file->fileName()); }
    void presentError(const Reactive::AnyError& error) override { shown.push_back("error " + error.description()); }
};

class ShareFlowTest : public ::testing::Test {
protected:
    std::shared_ptr<Testing::FakePublicShareService> links = std::make_shared<Testing::FakePublicShareService>();
    std::shared_ptr<Testing::FakePrivateShareService> invitations = std::make_shared<Testing::FakePrivateShareService>();
    std::shared_ptr<Reactive::TestScheduler> ui = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<RecordingSharePresenter> presenter = std::make_shared<RecordingSharePresenter>();
    ShareFlow flow { { .publicShareService = links, .privateShareService = invitations, .uiScheduler = ui } };
};

// Each entry asks its own permission once and opens its own dialog, on the UI
// scheduler only; an item with a link gets it copied without being asked for.
TEST_F(ShareFlowTest, EachEntryAsksItsPermissionOnceAndPresentsOnTheUIScheduler)
{
    auto folder = sharedItem(8, "Projekte", true);
    flow.share(ShareEntry::publicLink, sharedItem(7, "Bericht.pdf"), presenter);
    flow.share(ShareEntry::privateShare, folder, presenter);
    EXPECT_EQ(links->permissionsAsked, std::vector<std::string> { "Bericht.pdf" });
    EXPECT_EQ(invitations->permissionsAsked, std::vector<std::string> { "Projekte" });
    links->permissions.succeed(0, {});
    invitations->permissions.fail(0, Reactive::AnyError(ShareError("Freigabe", "Nicht erlaubt.")));
    EXPECT_TRUE(presenter->shown.empty());
    ui->advance();
    ASSERT_EQ(presenter->shown.size(), 2u);
    EXPECT_EQ(presenter->shown[0], "link dialog Bericht.pdf");
    EXPECT_TRUE(presenter->shown[1].starts_with("error ")) << presenter->shown[1];

    auto shared = std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
        .syncFileID = Sync::SyncFileID::remote(9), .path = "/Foto.jpg", .fileName = "Foto.jpg", .hasPublicShare = true });
    flow.share(ShareEntry::publicLink, shared, presenter);
    EXPECT_EQ(links->permissionsAsked.size(), 1u);
    EXPECT_EQ(links->linksAsked, std::vector<std::string> { "Foto.jpg" });
    links->links.succeed(0, link(3, "https://s.example.org/foto"));
    ui->advance();
    EXPECT_EQ(presenter->shown.back(), "copy https://s.example.org/foto");
}

// A presenter gone before the answer (the application is ending) gets nothing.
TEST_F(ShareFlowTest, AnAnswerAfterThePresenterIsGoneIsDropped)
{
    flow.share(ShareEntry::privateShare, sharedItem(8, "Projekte", true), presenter);
    std::weak_ptr<RecordingSharePresenter> watched = presenter;
    presenter.reset();
    invitations->permissions.succeed(0, {});
    ui->advance();
    EXPECT_TRUE(watched.expired());
}

} // namespace
} // namespace Orvella
