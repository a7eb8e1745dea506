#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Sync/Run/SyncRun.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

using namespace Sync;
using namespace Sync::Testing;
using Reactive::AnyError;
using Reactive::Event;
using Reactive::Lifetime;
using Reactive::NoError;
using Reactive::Observer;

namespace {

// One line of what happened, in the order it happened: "call <path>" when a
// transfer reached the gate, "other <path>" for a folder, move or delete
// call, "started|finished|error <path>" for the engine's events. With each
// event, the test files stored and on disk at that moment.
struct Entry {
    std::string what;
    std::string path;
    std::set<std::string> stored;
    std::set<std::string> onDisk;
};

// The server double behind a gate: uploads and downloads wait until
// the test lets each through, in any order, or makes it fail; every other
// call passes at once. Once opened, the gate lets everything through.
class GatedServer final : public SyncAPIClient, public std::enable_shared_from_this<GatedServer> {
public:
    explicit GatedServer(std::shared_ptr<InMemorySyncServer> server) : m_server(std::move(server)) { }

    struct Held {
        std::string path;
        std::function<void(bool fail)> release;
        // Answers as a transport may that finished just as it was disposed.
        std::function<void()> answerAnyway;
        bool disposed = false;
        bool released = false;
    };

    Producer<FileRef> syncUpload(FileRef file, Platform::URL folder) override
    {
        return gated<FileRef>(file->path(), m_server->syncUpload(file, folder));
    }
    Producer<FileRef> syncReupload(FileRef file, Platform::URL folder) override
    {
        return gated<FileRef>(file->path(), m_server->syncReupload(file, folder));
    }
    Producer<DownloadedFileRef> syncDownload(FileRef file) override
    {
        return gated<DownloadedFileRef>(file->path(), m_server->syncDownload(file));
    }
    Producer<std::int64_t> syncRootFolderID() override { return m_server->syncRootFolderID(); }
    Producer<std::vector<FileRef>> syncRemoteFiles() override { return m_server->syncRemoteFiles(); }
    Producer<std::string> syncRootEtag() override { return m_server->syncRootEtag(); }
    Producer<FileRef> syncCreateFolder(FileRef file) override { return other(file, m_server->syncCreateFolder(file)); }
    Producer<Reactive::Unit> syncDelete(FileRef file) override { return other(file, m_server->syncDelete(file)); }
    Producer<FileRef> syncRename(FileRef file) override { return other(file, m_server->syncRename(file)); }
    Producer<FileRef> syncMove(FileRef file) override { return other(file, m_server->syncMove(file)); }
    Producer<PublicShare> syncPublicShareInfo(FileRef file) override { return m_server->syncPublicShareInfo(file); }
    Producer<PrivateShares> syncPrivateShareInfos(FileRef file) override { return m_server->syncPrivateShareInfos(file); }

    void log(Entry entry)
    {
        std::lock_guard lock(m_mutex);
        m_log.push_back(std::move(entry));
        m_changed.notify_all();
    }
    [[nodiscard]] std::vector<Entry> entries() const
    {
        std::lock_guard lock(m_mutex);
        return m_log;
    }

    // Waits (with a generous deadline) until `condition` holds over the held transfers.
    bool waitFor(const std::function<bool(const std::vector<std::shared_ptr<Held>>&)>& condition)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return condition(m_held); });
    }
    [[nodiscard]] std::vector<std::shared_ptr<Held>> held() const
    {
        std::lock_guard lock(m_mutex);
        return m_held;
    }
    [[nodiscard]] std::string firstStarted() const
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_log)
            if (entry.what == "started")
                return entry.path;
        return {};
    }
    void release(const std::shared_ptr<Held>& held, bool fail = false)
    {
        {
            std::lock_guard lock(m_mutex);
            if (held->released)
                return;
            held->released = true;
        }
        held->release(fail);
    }
    // Lets through what waits, but for `kept`, and all that comes.
    void open(const std::set<std::shared_ptr<Held>>& kept = {})
    {
        std::vector<std::shared_ptr<Held>> waiting;
        {
            std::lock_guard lock(m_mutex);
            m_open = true;
            waiting = m_held;
        }
        for (const auto& held : waiting)
            if (!kept.contains(held))
                release(held);
    }

private:
    template<class T>
    Producer<T> gated(std::string path, Producer<T> inner)
    {
        auto self = shared_from_this();
        return Producer<T>([self, path, inner](Observer<T, AnyError> observer, Lifetime lifetime) {
            auto held = std::make_shared<Held>();
            held->path = path;
            held->release = [inner, observer, lifetime, path](bool fail) {
                if (lifetime.hasEnded())
                    return;
                if (fail) {
                    observer.sendFailed(AnyError(ServerError { "refused " + path }));
                    return;
                }
                lifetime += inner.start(observer);
            };
            held->answerAnyway = [inner, observer] { static_cast<void>(inner.start(observer)); };
            static_cast<void>(lifetime.observeEnded([self, held] {
                std::lock_guard lock(self->m_mutex);
                held->disposed = !held->released;
                self->m_changed.notify_all();
            }));
            bool open = false;
            {
                std::lock_guard lock(self->m_mutex);
                self->m_log.push_back({ "call", path, {}, {} });
                self->m_held.push_back(held);
                open = self->m_open;
                self->m_changed.notify_all();
            }
            if (open)
                self->release(held);
        });
    }
    template<class T>
    Producer<T> other(const FileRef& file, Producer<T> inner)
    {
        log({ "other", file->path(), {}, {} });
        return inner;
    }

    std::shared_ptr<InMemorySyncServer> m_server;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Entry> m_log;
    std::vector<std::shared_ptr<Held>> m_held;
    bool m_open = false;
};

// An engine over `cloud`'s stores and disk talking to `gate`, whose events
// go to the gate's log with the test files (`files`) stored and on disk at
// that moment.
struct GatedEngine {
    GatedEngine(TestCloud& cloud, std::set<std::string> files)
        : gate(std::make_shared<GatedServer>(cloud.server))
    {
        cloud.manager = std::make_shared<SyncManager>(gate, *cloud.fileSystemStore, cloud.fileStore,
            cloud.referenceMapping, cloud.statusStore);
        watching = cloud.manager->syncEvents().observeValues([&cloud, gate = gate, files](const SyncEventPair& pair) {
            const auto& [event, change] = pair;
            Entry entry { event.isError() ? "error" : event.isFinished() ? "finished" : "started",
                change.fileOperation()->file()->path(), {}, {} };
            for (const auto& path : cloud.storedPaths())
                if (files.contains(path))
                    entry.stored.insert(path);
            for (const auto& path : files)
                if (cloud.exists(path))
                    entry.onDisk.insert(path);
            gate->log(std::move(entry));
        });
    }
    ~GatedEngine() { watching.dispose(); }

    std::shared_ptr<GatedServer> gate;
    Reactive::AnyDisposable watching;
};

// A run started on its own thread, ended or disposed by the test.
class BackgroundRun {
public:
    explicit BackgroundRun(SyncManager& manager)
    {
        m_handle = manager.performSync().start(Observer<SyncEventPair, NoError>::make([this](Event<SyncEventPair, NoError>&& event) {
            if (!event.isTerminating())
                return;
            std::lock_guard lock(m_mutex);
            m_ended = true;
            m_completed = event.isCompleted();
            m_changed.notify_all();
        }));
    }
    ~BackgroundRun() { m_handle.dispose(); }
    bool waitForEnd()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] { return m_ended; }) && m_completed;
    }
    void dispose() { m_handle.dispose(); }

private:
    Reactive::AnyDisposable m_handle;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_ended = false;
    bool m_completed = false;
};

// The transfers of the run were carried out one after another, each with
// the stored state and the disk as it would be without any sent ahead: at
// each change's start, the test files stored and on disk are exactly those
// whose changes finished before. `onDisk`: whether the disk is compared too
// (downloads; an upload's file is on disk from the start).
void expectOrderedEffects(const std::vector<Entry>& log, const std::set<std::string>& files, bool onDisk)
{
    std::set<std::string> finished;
    std::string under;
    for (const auto& entry : log) {
        if (entry.what == "started") {
            EXPECT_EQ(under, "") << "started " << entry.path << " while " << under << " was under way";
            under = entry.path;
            EXPECT_EQ(entry.stored, finished) << "stored at the start of " << entry.path;
            if (onDisk)
                EXPECT_EQ(entry.onDisk, finished) << "on disk at the start of " << entry.path;
        } else if (entry.what == "finished" || entry.what == "error") {
            EXPECT_EQ(under, entry.path) << entry.what << " of a change that was not under way";
            under.clear();
            if (entry.what == "finished" && files.contains(entry.path))
                finished.insert(entry.path);
        }
    }
    EXPECT_EQ(under, "");
}

// At no moment were more than `inFlight` transfers sent and not yet ended.
std::size_t mostInFlight(const std::vector<Entry>& log)
{
    std::set<std::string> sent;
    std::size_t most = 0;
    for (const auto& entry : log) {
        if (entry.what == "call")
            sent.insert(entry.path);
        else if (entry.what == "finished" || entry.what == "error")
            sent.erase(entry.path);
        most = std::max(most, sent.size());
    }
    return most;
}

void expectAtMostInFlight(const std::vector<Entry>& log, std::size_t inFlight = SyncRun::transfersInFlight)
{
    const auto most = mostInFlight(log);
    EXPECT_LE(most, inFlight);
    EXPECT_GT(most, 1u) << "nothing was sent ahead";
}

// The scripted part: once the upload under way and the
// transfers after it wait at the gate, those after it are answered first,
// the middle one with a failure; nothing of them may show before their
// turn. Answers the path whose transfer failed.
std::string answerOutOfOrder(GatedServer& gate, const std::set<std::string>& files,
    std::size_t inFlight = SyncRun::transfersInFlight)
{
    EXPECT_TRUE(gate.waitFor([inFlight](const auto& held) { return held.size() == inFlight; }))
        << "the transfers after the one under way were not sent ahead";
    auto under = gate.firstStarted();
    auto held = gate.held();
    std::vector<std::shared_ptr<GatedServer::Held>> ahead;
    for (const auto& each : held)
        if (each->path != under)
            ahead.push_back(each);
    EXPECT_EQ(ahead.size(), inFlight - 1);
    if (ahead.size() < 3)
        return {};
    std::reverse(ahead.begin(), ahead.end());
    const auto failing = ahead[1]->path;
    for (const auto& each : ahead)
        gate.release(each, each->path == failing);
    // Answered, and still nothing of them is on disk or stored, and no event went out for them.
    for (const auto& entry : gate.entries()) {
        EXPECT_TRUE(entry.what == "call" || entry.what == "other" || (entry.what == "started" && entry.path == under))
            << entry.what << " " << entry.path;
    }
    EXPECT_TRUE(files.contains(under));
    return failing;
}

std::set<std::string> numberedFiles(const std::string& prefix, int count)
{
    std::set<std::string> files;
    for (int index = 0; index < count; ++index)
        files.insert(prefix + std::to_string(index) + ".txt");
    return files;
}

// Each of `files` on the server with content of its own.
void addOnServer(TestCloud& cloud, const std::set<std::string>& files)
{
    for (const auto& path : files)
        cloud.server->addFile(path, "content of " + path);
}

} // namespace

TEST(TransfersAhead, UploadsAnsweredOutOfOrderTakeEffectInTheirTurnAndAFailureStaysItsOwn)
{
    // Uploads sent ahead and answered in reverse, one of them refused: each
    // file is stored, marked and reported in list order, the refused one
    // fails alone as it would have without the others, and the next run
    // brings it up.
    TestCloud cloud;
    const auto files = numberedFiles("/up", 9);
    for (const auto& path : files)
        cloud.writeFile(path, "content of " + path);
    GatedEngine engine(cloud, files);
    BackgroundRun run(*cloud.manager);

    const auto failing = answerOutOfOrder(*engine.gate, files);
    engine.gate->open();
    ASSERT_TRUE(run.waitForEnd());

    auto log = engine.gate->entries();
    expectOrderedEffects(log, files, false);
    expectAtMostInFlight(log);
    std::vector<std::string> errors;
    for (const auto& entry : log)
        if (entry.what == "error")
            errors.push_back(entry.path);
    EXPECT_EQ(errors, std::vector<std::string> { failing });
    EXPECT_EQ(cloud.status(failing), FileSyncStatus::error);
    EXPECT_FALSE(cloud.server->idAt(failing));
    for (const auto& path : files)
        if (path != failing) {
            EXPECT_EQ(cloud.server->contentAt(path), "content of " + path);
            EXPECT_EQ(cloud.status(path), FileSyncStatus::upToDate) << path;
        }

    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
}

TEST(TransfersAhead, DownloadsAnsweredOutOfOrderArePlacedAheadButRecordedInTheirTurn)
{
    // Downloads sent ahead and answered in reverse, one of them failing: the
    // answered files go to disk whole as they arrive, but each is stored,
    // marked and reported only in its turn, in list order; the failing one
    // fails alone, leaves nothing on disk, and the next run brings it down.
    TestCloud cloud;
    const auto files = numberedFiles("/down", 9);
    addOnServer(cloud, files);
    GatedEngine engine(cloud, files);
    BackgroundRun run(*cloud.manager);

    const auto failing = answerOutOfOrder(*engine.gate, files, SyncRun::downloadsInFlight);
    ASSERT_FALSE(failing.empty());
    const auto under = engine.gate->firstStarted();
    std::set<std::string> answered;
    for (const auto& each : engine.gate->held())
        if (each->path != under && each->path != failing)
            answered.insert(each->path);
    ASSERT_EQ(answered.size(), SyncRun::downloadsInFlight - 2);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline
        && !std::all_of(answered.begin(), answered.end(), [&](const auto& path) { return cloud.exists(path); }))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (const auto& path : answered) {
        ASSERT_TRUE(cloud.exists(path)) << path << " was not placed while it waited for its turn";
        EXPECT_EQ(cloud.readFile(path), "content of " + path);
    }
    EXPECT_FALSE(cloud.exists(failing));
    EXPECT_TRUE(cloud.storedPaths().empty()) << "a download was recorded before its turn";

    engine.gate->open();
    ASSERT_TRUE(run.waitForEnd());
    auto log = engine.gate->entries();
    expectOrderedEffects(log, files, false);
    expectAtMostInFlight(log, SyncRun::downloadsInFlight);
    std::vector<std::string> errors;
    for (const auto& entry : log)
        if (entry.what == "error")
            errors.push_back(entry.path);
    EXPECT_EQ(errors, std::vector<std::string> { failing });
    EXPECT_EQ(cloud.status(failing), FileSyncStatus::error);
    EXPECT_FALSE(cloud.exists(failing));
    for (const auto& path : files)
        if (path != failing) {
            EXPECT_EQ(cloud.readFile(path), "content of " + path);
            EXPECT_EQ(cloud.status(path), FileSyncStatus::upToDate) << path;
        }

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.readFile(failing), "content of " + failing);
    expectInStep(cloud);
}

TEST(TransfersAhead, DownloadsSentAheadOfADisposedRunArePlacedNeverAndRecordedNever)
{
    // A run disposed while downloads wait ahead of their turn ends them; an
    // answer that comes all the same puts nothing on disk, and the next run
    // brings every file down once.
    TestCloud cloud;
    const auto files = numberedFiles("/down", 10);
    addOnServer(cloud, files);
    GatedEngine engine(cloud, files);
    {
        BackgroundRun run(*cloud.manager);
        ASSERT_TRUE(engine.gate->waitFor([](const auto& held) { return held.size() == SyncRun::downloadsInFlight; }));
        run.dispose();
        EXPECT_TRUE(engine.gate->waitFor([](const auto& held) {
            return std::all_of(held.begin(), held.end(), [](const auto& each) { return each->disposed; });
        })) << "a download sent ahead outlived its run";
        for (const auto& each : engine.gate->held())
            each->answerAnyway();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    for (const auto& path : files)
        EXPECT_FALSE(cloud.exists(path)) << path << " was placed after its run was disposed";
    EXPECT_TRUE(cloud.storedPaths().empty());

    engine.gate->open();
    ASSERT_TRUE(cloud.sync().completed);
    for (const auto& path : files)
        EXPECT_EQ(cloud.readFile(path), "content of " + path);
    expectInStep(cloud);
}

// No transfer after a change of another kind is sent before that change
// ended, and none before it after: the list runs as barriers with transfers
// in between, uploads (`down` false) or downloads.
static void expectFoldersNotPassed(bool down)
{
    TestCloud cloud;
    std::set<std::string> files;
    for (int index = 0; index < 12; ++index) {
        files.insert("/a" + std::to_string(index) + ".txt");
        files.insert("/z" + std::to_string(index) + ".txt");
    }
    if (down) {
        // Known files changed on the server, new ones beside them, and a
        // folder deleted and a file moved among them.
        for (const auto& path : files)
            if (path.starts_with("/z"))
                cloud.server->addFile(path, "old");
        cloud.server->addFolder("/m/");
        cloud.server->addFile("/m/drin.txt", "drin");
        cloud.server->addFile("/n.txt", "n");
        EXPECT_TRUE(cloud.sync().completed);
        for (const auto& path : files)
            if (path.starts_with("/z"))
                cloud.server->setContent(path, "content of " + path);
            else
                cloud.server->addFile(path, "content of " + path);
        cloud.server->removeItem("/m/");
        cloud.server->moveItem("/n.txt", "/o.txt");
    } else {
        for (const auto& path : files)
            cloud.writeFile(path, "content of " + path);
        cloud.makeFolder("/m/");
        cloud.makeFolder("/n/");
    }
    // Updated files are stored from the start: the order of the records is
    // watched on the new ones.
    std::set<std::string> watched;
    for (const auto& path : files)
        if (!down || path.starts_with("/a"))
            watched.insert(path);
    GatedEngine engine(cloud, watched);
    engine.gate->open();
    BackgroundRun run(*cloud.manager);
    ASSERT_TRUE(run.waitForEnd());

    auto log = engine.gate->entries();
    std::vector<std::string> order;
    std::map<std::string, std::size_t> called;
    std::map<std::string, std::size_t> ended;
    for (std::size_t index = 0; index < log.size(); ++index) {
        const auto& entry = log[index];
        if (entry.what == "started")
            order.push_back(entry.path);
        else if (entry.what == "call")
            called[entry.path] = index;
        else if (entry.what == "finished" || entry.what == "error")
            ended[entry.path] = index;
    }
    ASSERT_EQ(order.size(), files.size() + 2 + (down ? 1 : 0));
    bool barrierBetweenTransfers = false;
    for (std::size_t position = 0; position < order.size(); ++position) {
        if (files.contains(order[position]))
            continue;
        const auto barrierEnd = ended.at(order[position]);
        bool before = false;
        for (std::size_t other = 0; other < order.size(); ++other) {
            if (!files.contains(order[other]))
                continue;
            if (other < position) {
                before = true;
                EXPECT_LT(ended.at(order[other]), barrierEnd);
            } else {
                EXPECT_GT(called.at(order[other]), barrierEnd) << order[other] << " sent before " << order[position] << " ended";
                barrierBetweenTransfers = barrierBetweenTransfers || before;
            }
        }
    }
    EXPECT_TRUE(barrierBetweenTransfers) << "no barrier between the transfers: the list tells nothing";
    expectOrderedEffects(log, watched, false);
    expectAtMostInFlight(log, down ? SyncRun::downloadsInFlight : SyncRun::transfersInFlight);
    expectInStep(cloud);
}

TEST(TransfersAhead, FoldersMovesAndDeletesAreNotPassedByUploads)
{
    expectFoldersNotPassed(false);
}

TEST(TransfersAhead, FoldersMovesAndDeletesAreNotPassedByDownloads)
{
    expectFoldersNotPassed(true);
}

TEST(TransfersAhead, DisposingTheRunEndsWhatWasSentAhead)
{
    // A run disposed while transfers wait ahead of their turn ends them
    // unanswered, records nothing of them, and the next run does them all.
    TestCloud cloud;
    const auto files = numberedFiles("/up", 6);
    for (const auto& path : files)
        cloud.writeFile(path, "content of " + path);
    GatedEngine engine(cloud, files);
    {
        BackgroundRun run(*cloud.manager);
        ASSERT_TRUE(engine.gate->waitFor([](const auto& held) { return held.size() == SyncRun::transfersInFlight; }));
        run.dispose();
        EXPECT_TRUE(engine.gate->waitFor([](const auto& held) {
            return std::all_of(held.begin(), held.end(), [](const auto& each) { return each->disposed; });
        })) << "a transfer sent ahead outlived its run";
    }
    EXPECT_TRUE(cloud.storedPaths().empty());
    EXPECT_TRUE(cloud.server->paths().empty());

    engine.gate->open();
    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
}

TEST(TransfersAhead, WhatWasSentAheadForAnotherCloudFolderTakesNoEffect)
{
    // Uploads sent ahead for the cloud folder of that moment, and then the
    // user chose another cloud folder holding files of the same names: no
    // upload sent for the old folder is taken over. Each is ended unanswered
    // in its turn and sent again from the folder of that moment.
    TestCloud cloud;
    const auto files = numberedFiles("/up", 6);
    const auto second = cloud.directory() + "/Second";
    std::filesystem::create_directory(second);
    for (const auto& path : files) {
        cloud.writeFile(path, "old folder's " + path);
        Platform::Testing::writeFile(second + path, "new folder's " + path);
    }
    GatedEngine engine(cloud, files);
    BackgroundRun run(*cloud.manager);
    ASSERT_TRUE(engine.gate->waitFor([](const auto& held) { return held.size() == SyncRun::transfersInFlight; }));
    const auto under = engine.gate->firstStarted();
    std::set<std::shared_ptr<GatedServer::Held>> ahead;
    for (const auto& each : engine.gate->held())
        if (each->path != under)
            ahead.insert(each);
    ASSERT_EQ(ahead.size(), SyncRun::transfersInFlight - 1);

    cloud.configuration->m_folderURL.set(Platform::URL::fileURL(second, Platform::URL::IsDirectory::Yes));
    engine.gate->open(ahead);
    EXPECT_TRUE(engine.gate->waitFor([&](const auto&) {
        return std::all_of(ahead.begin(), ahead.end(), [](const auto& each) { return each->disposed; });
    })) << "an upload sent ahead for the old cloud folder was taken over";
    for (const auto& each : ahead)
        engine.gate->release(each);
    ASSERT_TRUE(run.waitForEnd());

    for (const auto& each : ahead)
        EXPECT_EQ(cloud.server->contentAt(each->path), "new folder's " + each->path);
}
