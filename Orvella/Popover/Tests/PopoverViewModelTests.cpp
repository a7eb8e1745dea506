#include "Orvella/Popover/PopoverViewModel.hpp"
#include "Orvella/Popover/TestSupport/PopoverFakes.hpp"
#include "Shared/ClientConfiguration.hpp"

#include "Reactive/Schedulers/ImmediateScheduler.hpp"
#include "Reactive/Schedulers/PumpableMainLoop.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <gtest/gtest.h>

#include <thread>

using namespace Orvella;
using namespace Orvella::Testing;
using namespace std::chrono_literals;

namespace {

struct Fixture {
    explicit Fixture(Reactive::SchedulerPtr ui = std::make_shared<Reactive::ImmediateScheduler>(),
        std::optional<Reactive::Signal<Reactive::Unit, Reactive::NoError>> filesChanged = std::nullopt,
        std::shared_ptr<SyncNotices> notices = nullptr)
        : Fixture(0, std::move(ui), std::move(filesChanged), std::move(notices))
    {
    }

    std::shared_ptr<Reactive::TestScheduler> mainQueue = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<FakeFilesProvider> files = std::make_shared<FakeFilesProvider>();
    std::shared_ptr<FakeSyncStatusProvider> status = std::make_shared<FakeSyncStatusProvider>();
    std::shared_ptr<FakeQuotaProvider> quota = std::make_shared<FakeQuotaProvider>();
    std::shared_ptr<FakeSyncEnabler> enabler = std::make_shared<FakeSyncEnabler>();
    std::shared_ptr<RecordingPopoverNavigator> navigator = std::make_shared<RecordingPopoverNavigator>();
    std::unique_ptr<PopoverViewModel> viewModel;

    Fixture(int, Reactive::SchedulerPtr ui, std::optional<Reactive::Signal<Reactive::Unit, Reactive::NoError>> filesChanged,
        std::shared_ptr<SyncNotices> notices)
    {
        viewModel = std::make_unique<PopoverViewModel>(
            PopoverViewModel::Services { .configuration = std::make_shared<BrisantoClientConfiguration>(),
                .syncEnabler = enabler,
                .quotaProvider = quota,
                .fileProvider = files,
                .navigator = navigator,
                .syncStatusProvider = status,
                .cloudFolder = std::make_shared<FakeCloudFolder>("/home/nutzer/Cloud"),
                .notices = std::move(notices),
                .filesChanged = std::move(filesChanged) },
            PopoverViewModel::Schedulers { .ui = std::move(ui), .mainQueue = mainQueue },
            RowDateFormatter([] { return Platform::Date::fromWholeSecondsSince1970(1'765'238'400); }, TimeZone::fixed(0s)));
        mainQueue->advance();
    }

    std::vector<std::string> names() const
    {
        std::vector<std::string> result;
        for (const auto& entry : viewModel->recentFilesDataSource()->cellModels().value()) {
            result.push_back(entry.fileModel()->fileName);
        }
        return result;
    }
};

} // namespace

// The recent files are asked for once, at construction.
TEST(PopoverViewModelTests, firstQueryAtConstruction)
{
    Fixture fixture;
    ASSERT_EQ(fixture.files->queries.size(), 1u);
    EXPECT_TRUE(fixture.files->last()->recent);
    FakeFilesProvider::answer(fixture.files->last(), { file("/a.txt"), file("/Docs/b.pdf") });
    EXPECT_EQ(fixture.names(), (std::vector<std::string> { "a.txt", "b.pdf" }));
    EXPECT_EQ(fixture.viewModel->numberOfItems().value(), 2);
    EXPECT_TRUE(fixture.viewModel->emptyStateIsHidden().value());
    EXPECT_FALSE(fixture.viewModel->searchIsRunning().value());
}

// Typing one, two and three characters within half a second, long after the
// last query: the first text at once, the third when the half second has
// passed, the second never.
TEST(PopoverViewModelTests, typingBurstGivesOneQueryPerHalfSecond)
{
    Fixture fixture;
    fixture.mainQueue->advance(10s);
    fixture.viewModel->searchText().set("r");
    fixture.mainQueue->advance(100ms);
    fixture.viewModel->searchText().set("re");
    fixture.mainQueue->advance(100ms);
    fixture.viewModel->searchText().set("rec");
    fixture.mainQueue->advance(100ms);
    ASSERT_EQ(fixture.files->queries.size(), 2u);
    EXPECT_TRUE(fixture.files->queries[1]->recent);
    fixture.mainQueue->advance(200ms);
    ASSERT_EQ(fixture.files->queries.size(), 3u);
    EXPECT_FALSE(fixture.files->queries[2]->recent);
    EXPECT_EQ(fixture.files->queries[2]->text, "rec");
    for (const auto& query : fixture.files->queries) {
        EXPECT_NE(query->text, "re");
    }
}

// Texts count characters as seen: two decomposed accented letters ask for
// the recent files, three blanks start a search for three blanks.
TEST(PopoverViewModelTests, threeClusterRule)
{
    Fixture fixture;
    const std::pair<std::string, bool> cases[] = {
        { "ab", true },
        { "e\xCC\x81" "e\xCC\x81", true },
        { "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", true }, // two flags
        { "   ", false },
        { "e\xCC\x81" "e\xCC\x81" "e\xCC\x81", false },
    };
    for (const auto& [text, recent] : cases) {
        fixture.mainQueue->advance(1s);
        fixture.viewModel->searchText().set(text);
        fixture.mainQueue->advance();
        ASSERT_EQ(fixture.files->last()->recent, recent) << text;
        if (!recent) {
            EXPECT_EQ(fixture.files->last()->text, text);
        }
    }
}

// A search overtaken by a newer text is cancelled, and the running flag
// drops for it before it rises for the next one.
TEST(PopoverViewModelTests, overtakenSearchIsCancelledAndTheFlagDropsFirst)
{
    Fixture fixture;
    std::vector<bool> flags;
    fixture.viewModel->searchIsRunning().producer().startWithValues([&](bool running) { flags.push_back(running); });
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("bericht");
    fixture.mainQueue->advance();
    auto first = fixture.files->last();
    EXPECT_TRUE(fixture.viewModel->searchIsRunning().value());
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("berichte");
    fixture.mainQueue->advance();
    EXPECT_TRUE(first->disposed);
    EXPECT_TRUE(fixture.viewModel->searchIsRunning().value());
    EXPECT_EQ(flags, (std::vector<bool> { false, true, false, true }));

    FakeFilesProvider::answer(fixture.files->last(), { file("/berichte.txt") });
    EXPECT_FALSE(fixture.viewModel->searchIsRunning().value());
    EXPECT_EQ(fixture.names(), std::vector<std::string> { "berichte.txt" });

    // A newer short text cancels a search too, and the flag drops.
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("abc");
    fixture.mainQueue->advance();
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("a");
    fixture.mainQueue->advance();
    EXPECT_FALSE(fixture.viewModel->searchIsRunning().value());
}

// A failing search drops the running flag and says the list could not be
// loaded instead of showing what belongs to another text.
TEST(PopoverViewModelTests, failingSearchSaysTheListCouldNotBeLoaded)
{
    Fixture fixture;
    FakeFilesProvider::answer(fixture.files->last(), { file("/a.txt") });
    EXPECT_EQ(fixture.viewModel->emptyStateText().value(), "Keine Dateien gefunden");
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("xyz");
    fixture.mainQueue->advance();
    FakeFilesProvider::fail(fixture.files->last());
    EXPECT_TRUE(fixture.names().empty());
    EXPECT_FALSE(fixture.viewModel->emptyStateIsHidden().value());
    EXPECT_EQ(fixture.viewModel->emptyStateText().value(), "Dateiliste konnte nicht geladen werden");
    EXPECT_FALSE(fixture.viewModel->searchIsRunning().value());
}

// The service away when the popover opens: the list says it could not be
// loaded, never that there are no files; opened again, once the sync state
// recovers, and a second after a run changed files, the list is asked for
// again and shows the files.
TEST(PopoverViewModelTests, listIsAskedForAgainAfterAnOutageAndAfterChanges)
{
    auto [changes, changed] = Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe();
    Fixture fixture(std::make_shared<Reactive::ImmediateScheduler>(), changes);
    FakeFilesProvider::fail(fixture.files->last());
    EXPECT_FALSE(fixture.viewModel->emptyStateIsHidden().value());
    EXPECT_EQ(fixture.viewModel->emptyStateText().value(), "Dateiliste konnte nicht geladen werden");

    // Opened again while still away.
    fixture.mainQueue->advance(1s);
    fixture.viewModel->reload();
    fixture.mainQueue->advance();
    ASSERT_EQ(fixture.files->queries.size(), 2u);
    EXPECT_TRUE(fixture.files->last()->recent);
    FakeFilesProvider::fail(fixture.files->last());

    // The service is back: the state leaves the failure, the list is asked for.
    fixture.mainQueue->advance(1s);
    fixture.status->current.set(Sync::SyncStatus::failed());
    fixture.mainQueue->advance();
    EXPECT_EQ(fixture.files->queries.size(), 2u) << "asked again while the failure lasted";
    fixture.status->current.set(Sync::SyncStatus::allInSync({}));
    fixture.mainQueue->advance();
    ASSERT_EQ(fixture.files->queries.size(), 3u);
    FakeFilesProvider::answer(fixture.files->last(), { file("/a.txt") });
    EXPECT_EQ(fixture.names(), std::vector<std::string> { "a.txt" });
    EXPECT_EQ(fixture.viewModel->emptyStateText().value(), "Keine Dateien gefunden");
    fixture.status->current.set(Sync::SyncStatus::syncing());
    fixture.status->current.set(Sync::SyncStatus::allInSync({}));
    fixture.mainQueue->advance(1s);
    EXPECT_EQ(fixture.files->queries.size(), 3u) << "a loaded list was asked for at every state change";

    // A run changes files: a second after its last change, once.
    changed.send(Reactive::Unit {});
    fixture.mainQueue->advance(500ms);
    changed.send(Reactive::Unit {});
    fixture.mainQueue->advance(900ms);
    EXPECT_EQ(fixture.files->queries.size(), 3u);
    fixture.mainQueue->advance(200ms);
    fixture.mainQueue->advance();
    ASSERT_EQ(fixture.files->queries.size(), 4u);
    FakeFilesProvider::answer(fixture.files->last(), { file("/b.txt"), file("/a.txt") });
    EXPECT_EQ(fixture.names(), (std::vector<std::string> { "b.txt", "a.txt" }));
}

// Each replacement sends the count, also an unchanged one; an empty result
// shows the empty state.
TEST(PopoverViewModelTests, everyReplacementSendsNumberOfItems)
{
    Fixture fixture;
    std::vector<int> counts;
    fixture.viewModel->numberOfItems().signal().observeValues([&](int count) { counts.push_back(count); });
    FakeFilesProvider::answer(fixture.files->last(), { file("/a.txt") });
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("bbb");
    fixture.mainQueue->advance();
    FakeFilesProvider::answer(fixture.files->last(), { file("/b.txt") });
    fixture.mainQueue->advance(1s);
    fixture.viewModel->searchText().set("ccc");
    fixture.mainQueue->advance();
    FakeFilesProvider::answer(fixture.files->last(), {});
    EXPECT_EQ(counts, (std::vector<int> { 1, 1, 0 }));
    EXPECT_FALSE(fixture.viewModel->emptyStateIsHidden().value());
}

// Rows keep the service's order; each has its local path, date line and an
// action that reveals its file; a path the safe join refuses gives a row
// without local path that reveals nothing.
TEST(PopoverViewModelTests, rowsCarryPathDateAndAction)
{
    Fixture fixture;
    const auto today = Platform::Date::fromWholeSecondsSince1970(1'765'238'400 + 3600 + 120);
    FakeFilesProvider::answer(fixture.files->last(), { file("/Docs/z.txt", today), file("/../etc/passwd"), file("/a.txt") });
    const auto list = fixture.viewModel->recentFilesDataSource()->cellModels().value();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(fixture.names(), (std::vector<std::string> { "z.txt", "passwd", "a.txt" }));
    EXPECT_EQ(list[0].fileModel()->filePath, "/home/nutzer/Cloud/Docs/z.txt");
    EXPECT_EQ(list[0].fileModel()->dateString, "Heute, 01:02");
    EXPECT_EQ(list[1].fileModel()->filePath, std::nullopt);
    list[1].fileModel()->select();
    EXPECT_TRUE(fixture.navigator->revealedPaths.empty());
    list[0].fileModel()->select();
    EXPECT_EQ(fixture.navigator->revealedPaths, std::vector<std::string> { "/Docs/z.txt" });
}

// State texts and the pause or start command follow the scheduler; the
// switch is the enabler's own property.
TEST(PopoverViewModelTests, stateAndCommandFollowTheScheduler)
{
    Fixture fixture;
    fixture.status->current.set(Sync::SyncStatus::notReachable());
    EXPECT_EQ(fixture.viewModel->syncActionText().value(), "Synchronisation nicht verfügbar");
    EXPECT_FALSE(fixture.viewModel->syncActionAvailable().value());
    EXPECT_EQ(fixture.viewModel->syncStatusIcon().value(), "status-error");
    fixture.status->current.set(Sync::SyncStatus::disabled());
    EXPECT_EQ(fixture.viewModel->syncActionText().value(), "Synchronisation starten");
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Synchronisierung angehalten");
    EXPECT_EQ(&fixture.viewModel->syncEnabled(), &fixture.enabler->enabled);
    fixture.viewModel->syncEnabled().set(!fixture.viewModel->syncEnabled().value());
    fixture.status->current.set(Sync::SyncStatus::syncing());
    EXPECT_EQ(fixture.viewModel->syncActionText().value(), "Synchronisation anhalten");
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Daten werden aktualisiert…");
    fixture.status->current.set(Sync::SyncStatus::failed());
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Synchronisieren fehlgeschlagen");
    EXPECT_EQ(fixture.viewModel->syncStatusIcon().value(), "status-error");
}

// The rows' paths follow the settings' cloud folder as it is when a list comes.
TEST(PopoverViewModelTests, pathsFollowTheCloudFolder)
{
    Reactive::MutableProperty<Platform::URL> folder(Platform::URL::fileURL("/home/nutzer/Cloud", Platform::URL::IsDirectory::Yes));
    const PropertyCloudFolderLocation location { Reactive::Property<Platform::URL>(folder) };
    EXPECT_EQ(localPath(location.currentCloudFolderURL(), "/a/b.txt"), "/home/nutzer/Cloud/a/b.txt");
    folder.set(Platform::URL::fileURL("/mnt/Neuer Ordner", Platform::URL::IsDirectory::Yes));
    EXPECT_EQ(localPath(location.currentCloudFolderURL(), "/a/b.txt"), "/mnt/Neuer Ordner/a/b.txt");
    EXPECT_EQ(localPath(location.currentCloudFolderURL(), "/"), "/mnt/Neuer Ordner");
    EXPECT_EQ(localPath(location.currentCloudFolderURL(), "/a//b"), std::nullopt);
    EXPECT_EQ(localPath(location.currentCloudFolderURL(), "/a/./b"), std::nullopt);
}

// A list answered on another thread reaches the data source on the main
// thread only, through the UI scheduler.
TEST(PopoverViewModelTests, listsArriveOnTheMainThread)
{
    auto loop = std::make_shared<Reactive::PumpableMainLoop>();
    Fixture fixture(Reactive::UIScheduler::make(loop));
    std::thread::id replacedOn;
    fixture.viewModel->recentFilesDataSource()->cellModels().signal().observeValues([&](const auto&) {
        replacedOn = std::this_thread::get_id();
    });
    std::thread service([&] { FakeFilesProvider::answer(fixture.files->last(), { file("/a.txt") }); });
    service.join();
    EXPECT_EQ(fixture.viewModel->numberOfItems().value(), 0);
    loop->pump();
    EXPECT_EQ(fixture.viewModel->numberOfItems().value(), 1);
    EXPECT_EQ(replacedOn, std::this_thread::get_id());
}

// The usage line follows the quota, from the initial one on.
TEST(PopoverViewModelTests, usageFollowsTheQuota)
{
    Fixture fixture;
    EXPECT_EQ(fixture.viewModel->usageInfoText().value(), "0 % von 953,7 MB");
    fixture.quota->current.set({ .usedBytes = 0, .totalBytes = 0 });
    EXPECT_EQ(fixture.viewModel->usageInfoText().value(), "100 % von Null KB");
    EXPECT_EQ(fixture.viewModel->appName(), BrisantoClientConfiguration().clientName());
}

// The state line says what a notification may never have shown: why the
// cloud folder cannot be read (with its path) while runs fail, until one
// succeeds; a mass change to the Trash until the popover was seen with it.
TEST(PopoverViewModelTests, stateLineCarriesTheUnreadableFolderAndTheMassChange)
{
    auto notices = std::make_shared<SyncNotices>();
    Fixture fixture(std::make_shared<Reactive::ImmediateScheduler>(), std::nullopt, notices);
    const std::string reason = "Der Cloud-Ordner „/home/nutzer/Cloud“ kann nicht gelesen werden. Bitte prüfen Sie die Zugriffsrechte; "
                               "bis dahin wird nicht synchronisiert.";
    notices->setUnreadableCloudFolder(reason);
    fixture.status->current.set(Sync::SyncStatus::failed());
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), reason);
    fixture.status->current.set(Sync::SyncStatus::syncing());
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Daten werden aktualisiert…");
    fixture.status->current.set(Sync::SyncStatus::failed());
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), reason);
    fixture.status->current.set(Sync::SyncStatus::allInSync({}));
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Daten sind aktuell");
    fixture.status->current.set(Sync::SyncStatus::failed());
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Synchronisieren fehlgeschlagen") << "a mended folder's reason came back";

    notices->setMassChange("In den Papierkorb verschoben: 60 Objekte fehlen auf dem Server.");
    fixture.status->current.set(Sync::SyncStatus::allInSync({}));
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "In den Papierkorb verschoben: 60 Objekte fehlen auf dem Server.");
    fixture.viewModel->acknowledgeNotices();
    EXPECT_EQ(fixture.viewModel->syncStatusText().value(), "Daten sind aktuell");
}
