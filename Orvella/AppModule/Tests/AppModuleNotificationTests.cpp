#include "Orvella/AppModule/AppModuleFactories.hpp"
#include "Orvella/AppModule/RootEtagProviderAdapter.hpp"
#include "Orvella/AppModule/Tests/AppModuleFixture.hpp"

#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Quarlink/Session/WorldID.hpp"
#include "Sync/Schedule/RootEtagProvider.hpp"
#include "Sync/Schedule/SyncScheduler.hpp"

using namespace Orvella;
using namespace Orvella::Testing;

namespace {

class AppModuleNotificationTests : public AppModuleFixture {
protected:
    std::vector<std::pair<std::string, std::string>> delivered() const
    {
        std::vector<std::pair<std::string, std::string>> notifications;
        for (const auto& call : m_notifications->calls()) {
            if (call.method == "Notify")
                notifications.emplace_back(call.summary, call.body);
        }
        return notifications;
    }

    std::size_t deliveredWithTitle(const std::string& title) const
    {
        std::size_t count = 0;
        for (const auto& [summary, body] : delivered())
            count += summary == title;
        return count;
    }

    bool isShown(const std::string& title) const
    {
        for (const auto& [summary, body] : shownNotifications()) {
            if (summary == title)
                return true;
        }
        return false;
    }

    std::string clientName() { return resolved<ClientConfiguration>()->clientName(); }

    void logIn()
    {
        auto events = Quarlink::Testing::run(resolved<APIManager>()->login(m_credentials));
        ASSERT_TRUE(!events.empty() && events.back().isCompleted());
    }

    // The container built, desktop notifications on and the cloud folder synced; the scheduler that runs it.
    std::shared_ptr<Sync::SyncScheduler> startSyncing()
    {
        buildContainer();
        auto settings = resolved<SettingsManager>();
        settings->enableDesktopNotifications().set(true);
        settings->cloudFolderURL().set(Platform::URL::fileURL(cloudFolder().string(), Platform::URL::IsDirectory::Yes));
        settings->isSyncEnabled().set(true);
        std::filesystem::create_directories(cloudFolder());
        return resolved<Sync::SyncScheduler>();
    }

    // Starts the root-etag check and waits for its end; the values it sent.
    std::vector<std::string> checkRootEtag()
    {
        struct Outcome {
            std::mutex mutex;
            std::vector<std::string> values;
            bool ended = false;
            bool failedOrInterrupted = false;
        };
        auto outcome = std::make_shared<Outcome>();
        auto started = resolved<Sync::RootEtagProvider>()->rootEtag().startWithEvents([outcome](const Reactive::Event<std::string, Reactive::NoError>& event) {
            std::lock_guard lock(outcome->mutex);
            if (event.isValue())
                outcome->values.push_back(event.value());
            else if (event.isTerminating()) {
                outcome->ended = true;
                outcome->failedOrInterrupted = !event.isCompleted();
            }
        });
        EXPECT_TRUE(pumpUntil([&] {
            std::lock_guard lock(outcome->mutex);
            return outcome->ended;
        }));
        std::lock_guard lock(outcome->mutex);
        EXPECT_FALSE(outcome->failedOrInterrupted);
        return outcome->values;
    }

    void answerRootEtagWithServiceError()
    {
        m_server->script("GET", "/v2.0/files/" + std::to_string(m_server->rootIdentifier(m_credentials.username)),
            { .status = 500, .headers = { { "X-Error-Code", "1000" }, { "X-Error-Message", "Interner Fehler" } }, .body = R"({"code":1000,"message":"Interner Fehler"})" },
            1);
    }
};

} // namespace

TEST_F(AppModuleNotificationTests, LoginAndLogoutAreAnnouncedOnTheMainQueue)
{
    // The login names the user of the credentials (they come before the customer data); the logout its own text; nothing before the main queue runs.
    buildContainer();
    resolved<SettingsManager>()->enableDesktopNotifications().set(true);
    auto manager = resolved<APIManager>();
    logIn();
    EXPECT_TRUE(delivered().empty());
    ASSERT_TRUE(pumpUntil([&] { return !delivered().empty(); }));
    EXPECT_EQ(delivered().front(), std::make_pair("Angemeldet bei " + clientName(), m_credentials.username + " ist angemeldet."));

    manager->logout();
    ASSERT_TRUE(pumpUntil([&] { return delivered().size() == 2; }));
    EXPECT_EQ(delivered().back(), std::make_pair("Abgemeldet bei " + clientName(), std::string("Sie sind nicht länger angemeldet.")));
}

TEST_F(AppModuleNotificationTests, AStartWhileLoggedInAndRepeatedCredentialsAnnounceNothing)
{
    // The same credentials written twice give one notification; a new container with stored credentials shows none; its logout shows one.
    buildContainer();
    resolved<SettingsManager>()->enableDesktopNotifications().set(true);
    ASSERT_TRUE(resolved<APIManager>());
    auto holder = resolved<CredentialHolder>();
    holder->credentials().set(m_credentials);
    ASSERT_TRUE(pumpUntil([&] { return delivered().size() == 1; }));
    holder->credentials().set(m_credentials);
    m_mainQueue->advance();
    EXPECT_EQ(deliveredWithTitle("Angemeldet bei " + clientName()), 1u);
    holder.reset();

    buildContainer();
    auto manager = resolved<APIManager>();
    ASSERT_TRUE(manager->isLoggedIn().value());
    m_mainQueue->advance();
    EXPECT_EQ(delivered().size(), 1u);
    manager->logout();
    ASSERT_TRUE(pumpUntil([&] { return delivered().size() == 2; }));
    EXPECT_EQ(delivered().back().first, "Abgemeldet bei " + clientName());
}

TEST_F(AppModuleNotificationTests, AFailedRootEtagCheckIsShownOnlyWhileLoggedInAndWithdrawnByTheNextSuccess)
{
    // Logged out a failure is silent; logged in it shows "sync-error" once; the next success withdraws it; the scheduler side sees no error either way.
    buildContainer();
    resolved<SettingsManager>()->enableDesktopNotifications().set(true);
    EXPECT_TRUE(checkRootEtag().empty());
    EXPECT_TRUE(delivered().empty());

    logIn();
    drainMainQueue();
    const auto before = delivered().size();
    answerRootEtagWithServiceError();
    EXPECT_TRUE(checkRootEtag().empty());
    ASSERT_EQ(delivered().size(), before + 1);
    EXPECT_EQ(delivered().back().first, "Synchronisieren fehlgeschlagen");
    EXPECT_FALSE(delivered().back().second.empty());
    EXPECT_TRUE(isShown("Synchronisieren fehlgeschlagen"));

    EXPECT_EQ(checkRootEtag().size(), 1u);
    EXPECT_FALSE(isShown("Synchronisieren fehlgeschlagen"));
}

TEST_F(AppModuleNotificationTests, SyncErrorsThatAreNoClientErrorsShowNothing)
{
    // An upload whose announcement cannot be decoded, and one the service refuses, fail their change; neither is the client's own error, so no "Fehler: " shows.
    auto scheduler = startSyncing();
    logIn();
    ASSERT_TRUE(pumpUntil([&] { return scheduler->status().value().kind() == Sync::SyncStatus::Kind::allInSync; }));

    m_server->script("POST", "/v2.0/files/init", { .status = 200, .body = "kein JSON" }, 1);
    m_server->script("POST", "/v2.0/files/init",
        { .status = 500, .headers = { { "X-Error-Code", "1000" }, { "X-Error-Message", "Interner Fehler" } }, .body = R"({"code":1000,"message":"Interner Fehler"})" }, 1);
    const auto announcements = [this] {
        std::size_t count = 0;
        for (const auto& request : m_server->requestLog())
            count += request.method == "POST" && request.path == "/v2.0/files/init";
        return count;
    };
    writeFile(cloudFolder() / "Bericht.pdf", "%PDF-1.4 Bericht");
    ASSERT_TRUE(pumpUntil([&] { return announcements() >= 1 && !scheduler->syncAction().isExecuting().value(); }));
    // The watcher may report the new file in one event or in several, so it
    // started one run or more: an edit starts the next for certain.
    if (announcements() < 2)
        writeFile(cloudFolder() / "Bericht.pdf", "%PDF-1.4 Bericht, zweite Fassung");
    ASSERT_TRUE(pumpUntil([&] { return announcements() >= 2; }));
    ASSERT_TRUE(pumpUntil([&] { return !scheduler->syncAction().isExecuting().value(); }));
    for (const auto& [title, text] : delivered())
        EXPECT_FALSE(title.starts_with("Fehler: ")) << title << ": " << text;
}

namespace {

// The application's engine client, except that every download fails the way
// the client library fails one that ended without a usable file: the
// client's own error, the kind the user is told about.
class DownloadsFailInTheClient final : public Sync::SyncAPIClient {
public:
    explicit DownloadsFailInTheClient(std::shared_ptr<Sync::SyncAPIClient> client)
        : m_client(std::move(client))
    {
    }

    Producer<std::int64_t> syncRootFolderID() override { return m_client->syncRootFolderID(); }
    Producer<std::vector<Sync::FileRef>> syncRemoteFiles() override { return m_client->syncRemoteFiles(); }
    Producer<std::string> syncRootEtag() override { return m_client->syncRootEtag(); }
    Producer<Sync::DownloadedFileRef> syncDownload(Sync::FileRef) override
    {
        return Producer<Sync::DownloadedFileRef>::error(Reactive::AnyError(Quarlink::APIClientError::invalidDownload()));
    }
    Producer<Sync::FileRef> syncUpload(Sync::FileRef file, Platform::URL cloudFolder) override { return m_client->syncUpload(file, cloudFolder); }
    Producer<Sync::FileRef> syncReupload(Sync::FileRef file, Platform::URL cloudFolder) override { return m_client->syncReupload(file, cloudFolder); }
    Producer<Sync::FileRef> syncCreateFolder(Sync::FileRef file) override { return m_client->syncCreateFolder(file); }
    Producer<Reactive::Unit> syncDelete(Sync::FileRef file) override { return m_client->syncDelete(file); }
    Producer<Sync::FileRef> syncRename(Sync::FileRef file) override { return m_client->syncRename(file); }
    Producer<Sync::FileRef> syncMove(Sync::FileRef file) override { return m_client->syncMove(file); }
    Producer<PublicShare> syncPublicShareInfo(Sync::FileRef file) override { return m_client->syncPublicShareInfo(file); }
    Producer<PrivateShares> syncPrivateShareInfos(Sync::FileRef file) override { return m_client->syncPrivateShareInfos(file); }

private:
    std::shared_ptr<Sync::SyncAPIClient> m_client;
};

} // namespace

TEST_F(AppModuleNotificationTests, AClientErrorOfAChangeIsShownUnderTheFilesNameNotItsPath)
{
    // A download in a folder fails with the client's own error: "Fehler: " and the file's name, the error's reason as the text.
    m_moreUserInterface = [](Binder& binder) {
        binder.addBinding<Sync::SyncAPIClient>(Scope::single, [](Resolver& resolver) -> std::shared_ptr<Sync::SyncAPIClient> {
            auto manager = resolver.resolve<APIClientManager>();
            if (!manager)
                return nullptr;
            return std::make_shared<DownloadsFailInTheClient>(std::make_shared<SyncAPIClientAdapter>(
                SyncAPIClientAdapter::Collaborators { .apiClient = (*manager)->apiClient(), .apiManager = *manager }));
        });
    };
    ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "/Projekte/" }, { "/Projekte/Bericht.pdf", "%PDF-1.4" } }).has_value());
    startSyncing();
    logIn();

    const auto failedDownload = [this] {
        for (const auto& [title, text] : delivered()) {
            if (title.starts_with("Fehler: "))
                return true;
        }
        return false;
    };
    ASSERT_TRUE(pumpUntil(failedDownload));
    for (const auto& [title, text] : delivered()) {
        if (title.starts_with("Fehler: ")) {
            EXPECT_EQ(title, "Fehler: Bericht.pdf");
            EXPECT_EQ(text, Quarlink::APIClientError::invalidDownload().reason());
        }
    }
}

TEST_F(AppModuleNotificationTests, AClientErrorOfAnUploadIsShownWithTheFileName)
{
    // The session ends and the credential store has no user to renew it with: the upload fails with the client's
    // "not logged in", which shows as "Fehler: Bericht.pdf" with that error's reason.
    auto scheduler = startSyncing();
    logIn();
    ASSERT_TRUE(pumpUntil([&] { return scheduler->status().value().kind() == Sync::SyncStatus::Kind::allInSync; }));

    m_server->accounts().expireSessions();
    resolved<SettingsManager>()->lastLoggedInUserName().set(std::nullopt);
    writeFile(cloudFolder() / "Bericht.pdf", "%PDF-1.4 Bericht");
    ASSERT_TRUE(pumpUntil([&] { return deliveredWithTitle("Fehler: Bericht.pdf") > 0; }));
    for (const auto& [title, text] : delivered()) {
        if (title == "Fehler: Bericht.pdf") {
            EXPECT_EQ(text, Quarlink::APIClientError::notLoggedIn().reason());
        }
    }
}

TEST_F(AppModuleNotificationTests, TheLoginCarriesTheBrandsWorldAndEveryFailedRequestIsReported)
{
    // The client logs in with the brand's world, not the library's default; a request the service refuses reaches its error log.
    buildContainer();
    const auto world = std::string(Quarlink::rawValue(resolved<ClientConfiguration>()->worldID()));
    ASSERT_NE(world, std::string(Quarlink::rawValue(Quarlink::WorldID::talvern)));
    logIn();
    ASSERT_FALSE(m_server->accounts().loginAttempts().empty());
    EXPECT_EQ(m_server->accounts().loginAttempts().back().world, world);

    drainMainQueue();
    const auto before = m_server->accounts().errorReports().size();
    answerRootEtagWithServiceError();
    EXPECT_TRUE(checkRootEtag().empty());
    ASSERT_TRUE(pumpUntil([&] { return m_server->accounts().errorReports().size() > before; }));
    const auto report = m_server->accounts().errorReports().back();
    EXPECT_FALSE(report.publicRoute);
    auto body = nlohmann::json::parse(report.body, nullptr, false);
    EXPECT_EQ(body.value("code", 0), 1000) << report.body;
    EXPECT_EQ(body.value("account", ""), m_credentials.username) << report.body;
}

TEST(TrashedForSafetyNotification, SaysHowManyItemsAreMissingInTheRightNumber)
{
    // One item missing reads in the singular, more in the plural; the rest of the text is the same.
    const std::string rest = " auf dem Server. Weil mehr als die Hälfte der synchronisierten Objekte fehlt, wurde nichts "
                             "gelöscht: Was fehlt, liegt jetzt im Papierkorb.";
    EXPECT_EQ(Factories::trashedForSafetyNotification(1),
        (std::pair<std::string, std::string> { "In den Papierkorb verschoben", "1 Objekt fehlt" + rest }));
    EXPECT_EQ(Factories::trashedForSafetyNotification(51),
        (std::pair<std::string, std::string> { "In den Papierkorb verschoben", "51 Objekte fehlen" + rest }));
}
