// What the engine places on disk is durable before its record says it is
// there: checked through the disk store's DiskSync, which sees every sync in
// the order the engine asks for it, and the disk and the stored state at
// that moment.

#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/FileOperations.hpp"
#include "Sync/References/ExtendedAttributes.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>

using namespace Sync;
using namespace Sync::Testing;

namespace {

// One sync the store asked for, with what lay on disk and in the store then.
struct SyncCall {
    enum class Kind { file, folder } kind;
    std::string path;
    // The placed file's content at its final path, when there is one.
    std::optional<std::string> target;
    // Whether the watched items were recorded (the file, and the folders "/A/", "/A/B/").
    bool fileRecorded = false;
    bool folderARecorded = false;
    bool folderBRecorded = false;
    bool folderBExists = false;
    // Of a synced file: its modification time and permission bits.
    std::int64_t modified = 0;
    unsigned mode = 0;
    // Whether the synced item (a file, or the folder itself) carried a binding.
    bool bound = false;
};

// Forwards to the system's syncs and notes each, with the state of the cloud
// it watches: the file "/A/B/c.txt" and its two folders.
class RecordingDiskSync final : public Platform::DiskSync {
public:
    std::expected<void, Platform::FileSystemError> syncFile(const std::string& path) const override
    {
        note(SyncCall::Kind::file, path);
        if (failFileSyncs)
            return std::unexpected(Platform::FileSystemError::fromErrno(EIO, path));
        return Platform::DiskSync::syncFile(path);
    }
    std::expected<void, Platform::FileSystemError> syncFolder(const std::string& path) const override
    {
        note(SyncCall::Kind::folder, path);
        return Platform::DiskSync::syncFolder(path);
    }

    void watch(TestCloud* cloud) { m_cloud = cloud; }
    // Every file sync fails from now on (as on a disk that went bad).
    std::atomic<bool> failFileSyncs { false };
    [[nodiscard]] std::vector<SyncCall> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_calls.clear();
    }

private:
    void note(SyncCall::Kind kind, const std::string& path) const
    {
        SyncCall call { kind, path };
        if (m_cloud) {
            call.target = m_cloud->readFile("/A/B/c.txt");
            auto stored = m_cloud->storedPaths();
            auto has = [&](const char* item) { return std::ranges::find(stored, item) != stored.end(); };
            call.fileRecorded = has("/A/B/c.txt");
            call.folderARecorded = has("/A/");
            call.folderBRecorded = has("/A/B/");
            call.folderBExists = m_cloud->exists("/A/B");
        }
        auto binding = Platform::ExtendedAttributes::system()->value(path, extendedAttributeName());
        call.bound = binding && *binding && !(*binding)->empty();
        struct stat status {};
        if (kind == SyncCall::Kind::file && ::lstat(path.c_str(), &status) == 0) {
            call.modified = status.st_mtim.tv_sec * 1'000'000'000LL + status.st_mtim.tv_nsec;
            call.mode = status.st_mode & 07777;
        }
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }

    TestCloud* m_cloud = nullptr;
    mutable std::mutex m_mutex;
    mutable std::vector<SyncCall> m_calls;
};

bool isStaged(const std::string& path)
{
    return path.find("/" + std::string(FileSystemFileStore::stagingFolderName) + "/"
               + std::string(FileSystemFileStore::stagedDownloadPrefix))
        != std::string::npos;
}

// The index of the first call after `from` that `matches`, or the number of calls.
template<class Matches>
std::size_t firstAfter(const std::vector<SyncCall>& calls, std::size_t from, Matches matches)
{
    for (auto index = from; index < calls.size(); ++index)
        if (matches(calls[index]))
            return index;
    return calls.size();
}

} // namespace

TEST(DurablePlacement, ADownloadIsSyncedRenamedAndItsFolderSyncedBeforeItsRecord)
{
    // A first download into new folders, then a replacing one: each folder
    // made is synced with its parent before it or anything in it is
    // recorded; the file is synced in the staging folder (mode and date
    // already set) before its name is taken, and its folder after, all
    // before the record. A replacing download leaves the old content in
    // place until its synced replacement is renamed onto it.
    auto sync = std::make_shared<RecordingDiskSync>();
    TestCloud cloud(TestCloud::Settings { .diskSync = sync });
    sync->watch(&cloud);
    const auto date = Platform::Date::fromWholeSecondsSince1970(1'600'000'000);
    cloud.server->addFile("/A/B/c.txt", "first", date);

    ASSERT_TRUE(cloud.sync().completed);
    auto calls = sync->calls();
    const auto folderA = cloud.diskPath("/A");
    const auto folderB = cloud.diskPath("/A/B");
    const auto root = cloud.cloudFolder();

    // "/A/" made: its name synced in the cloud folder before its record.
    auto madeA = firstAfter(calls, 0, [&](const SyncCall& call) { return call.path == root; });
    ASSERT_LT(madeA, calls.size());
    EXPECT_FALSE(calls[madeA].folderARecorded);
    auto madeB = firstAfter(calls, madeA, [&](const SyncCall& call) { return call.path == folderA && call.folderBExists; });
    ASSERT_LT(madeB, calls.size());
    EXPECT_FALSE(calls[madeB].folderBRecorded);

    auto staged = firstAfter(calls, madeB, [](const SyncCall& call) { return call.kind == SyncCall::Kind::file && isStaged(call.path); });
    ASSERT_LT(staged, calls.size());
    EXPECT_EQ(calls[staged].target, std::nullopt) << "the name was taken before the content was durable";
    EXPECT_FALSE(calls[staged].fileRecorded);
    EXPECT_EQ(calls[staged].modified, date.nanosecondsSince1970()) << "the date is set after the sync";
    EXPECT_EQ(calls[staged].mode, Platform::newFileMode()) << "the mode is set after the sync";
    // The staging folder itself was made and synced with the cloud folder before it held the file.
    EXPECT_LT(firstAfter(calls, madeB, [&](const SyncCall& call) { return call.path == root; }), staged);

    auto placed = firstAfter(calls, staged, [&](const SyncCall& call) { return call.path == folderB; });
    ASSERT_LT(placed, calls.size()) << "the file's folder was never synced after the rename";
    EXPECT_EQ(calls[placed].target, "first");
    EXPECT_FALSE(calls[placed].fileRecorded) << "recorded before its folder was synced";
    EXPECT_EQ(cloud.status("/A/B/c.txt"), FileSyncStatus::upToDate);

    sync->clear();
    cloud.server->setContent("/A/B/c.txt", "second");
    ASSERT_TRUE(cloud.sync().completed);
    calls = sync->calls();
    staged = firstAfter(calls, 0, [](const SyncCall& call) { return call.kind == SyncCall::Kind::file && isStaged(call.path); });
    ASSERT_LT(staged, calls.size());
    EXPECT_EQ(calls[staged].target, "first") << "the old content went before the new one was durable";
    placed = firstAfter(calls, staged, [&](const SyncCall& call) { return call.path == folderB; });
    ASSERT_LT(placed, calls.size());
    EXPECT_EQ(calls[placed].target, "second");
    EXPECT_EQ(cloud.readFile("/A/B/c.txt"), "second");
    expectInStep(cloud);
}

TEST(DurablePlacement, AFolderTheEngineMakesIsSyncedWithEveryParentItMade)
{
    // The store's folder creation with missing parents: each new folder's
    // name is synced in its parent, top down, and the folder itself (its
    // date) last; an existing folder costs no sync.
    auto sync = std::make_shared<RecordingDiskSync>();
    TestCloud cloud(TestCloud::Settings { .diskSync = sync });
    auto folder = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields { .path = "/X/Y/Z/", .fileName = "Z",
        .type = FileType::folder() });

    ASSERT_TRUE(cloud.fileSystemStore->createFolder(*folder));
    std::vector<std::string> paths;
    for (const auto& call : sync->calls())
        paths.push_back(call.path);
    EXPECT_EQ(paths, (std::vector<std::string> { cloud.cloudFolder(), cloud.diskPath("/X"), cloud.diskPath("/X/Y"),
                         cloud.diskPath("/X/Y/Z") }));

    sync->clear();
    ASSERT_TRUE(cloud.fileSystemStore->createFolder(*folder));
    EXPECT_TRUE(sync->calls().empty());
}

TEST(DurablePlacement, ABindingIsOnTheItemWhenItIsSyncedBeforeItsRecord)
{
    // The binding of a download is written on the staged file before its
    // sync, so the file takes its name bound, for a first download and a
    // replacing one; a folder the engine makes carries its binding at its
    // own sync. A kept copy is the user's new file and carries none, while
    // the file it copies keeps its own.
    auto sync = std::make_shared<RecordingDiskSync>();
    TestCloud cloud(TestCloud::Settings { .diskSync = sync });
    sync->watch(&cloud);
    const auto folderID = cloud.server->addFolder("/A/B/");
    const auto fileID = cloud.server->addFile("/A/B/c.txt", "first");

    ASSERT_TRUE(cloud.sync().completed);
    auto calls = sync->calls();
    const auto folderB = cloud.diskPath("/A/B");
    // Made by the file's placement or by its own change, whichever comes
    // first: it is synced bound before its record either way.
    auto boundB = firstAfter(calls, 0, [&](const SyncCall& call) { return call.path == folderB && call.bound; });
    ASSERT_LT(boundB, calls.size()) << "the folder was never synced with its binding";
    EXPECT_FALSE(calls[boundB].folderBRecorded) << "the folder was recorded before its binding was synced";
    auto staged = firstAfter(calls, 0, [](const SyncCall& call) { return call.kind == SyncCall::Kind::file && isStaged(call.path); });
    ASSERT_LT(staged, calls.size());
    EXPECT_TRUE(calls[staged].bound) << "the file was synced before its binding was written";
    EXPECT_FALSE(calls[staged].fileRecorded);
    auto bound = [&](const std::string& path) {
        auto file = cloud.referenceMapping->file(path, cloud.cloudFolderURL());
        return file ? file->syncFileID().remoteID() : std::nullopt;
    };
    EXPECT_EQ(bound("/A/B/"), folderID);
    EXPECT_EQ(bound("/A/B/c.txt"), fileID);

    sync->clear();
    cloud.server->setContent("/A/B/c.txt", "second");
    ASSERT_TRUE(cloud.sync().completed);
    calls = sync->calls();
    staged = firstAfter(calls, 0, [](const SyncCall& call) { return call.kind == SyncCall::Kind::file && isStaged(call.path); });
    ASSERT_LT(staged, calls.size());
    EXPECT_TRUE(calls[staged].bound) << "the replacing file was synced before its binding was written";
    EXPECT_EQ(calls[staged].target, "first");
    EXPECT_EQ(cloud.readFile("/A/B/c.txt"), "second");
    EXPECT_EQ(bound("/A/B/c.txt"), fileID);
    expectInStep(cloud);

    sync->clear();
    auto record = cloud.fileStore->file(SyncFileID::remote(fileID));
    ASSERT_TRUE(record);
    auto kept = cloud.fileSystemStore->keepCopy(*record, cloud.cloudFolderURL());
    ASSERT_TRUE(kept);
    calls = sync->calls();
    staged = firstAfter(calls, 0, [](const SyncCall& call) { return call.kind == SyncCall::Kind::file && isStaged(call.path); });
    ASSERT_LT(staged, calls.size());
    EXPECT_FALSE(calls[staged].bound) << "the kept copy carries the file's binding";
    EXPECT_EQ(bound(*kept), std::nullopt);
    EXPECT_EQ(bound("/A/B/c.txt"), fileID);
}

TEST(DurablePlacement, AFileFoundInPlaceIsBoundAndSyncedBeforeItsRecord)
{
    // A download placed by a run that ended before its record (or the user's
    // file of the same content) is bound where it lies and synced with its
    // binding; a sync that fails fails the binding, so that nothing records it.
    auto sync = std::make_shared<RecordingDiskSync>();
    TestCloud cloud(TestCloud::Settings { .diskSync = sync });
    cloud.writeFile("/k.txt", "kept");
    auto file = item("/k.txt", "", SyncFileID::remote(7));

    ASSERT_TRUE(cloud.fileSystemStore->bindInPlace(*file, cloud.cloudFolderURL(), *cloud.referenceMapping));
    auto calls = sync->calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, cloud.diskPath("/k.txt"));
    EXPECT_TRUE(calls[0].bound) << "synced before it was bound";
    auto bound = cloud.referenceMapping->boundRemoteID("/k.txt", cloud.diskPath("/k.txt"), cloud.cloudFolderURL(), nullptr);
    EXPECT_EQ(bound, 7);

    sync->failFileSyncs = true;
    auto other = item("/k.txt", "", SyncFileID::remote(8));
    auto failed = cloud.fileSystemStore->bindInPlace(*other, cloud.cloudFolderURL(), *cloud.referenceMapping);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().cause.systemError, EIO);
}

namespace {

// The system's syncs, but a sync of `held` waits until released: a folder
// whose name is on its way to the disk, for as long as the test likes.
class HeldFolderSync final : public Platform::DiskSync {
public:
    std::expected<void, Platform::FileSystemError> syncFolder(const std::string& path) const override
    {
        if (path == held) {
            std::unique_lock lock(m_mutex);
            m_waiting = true;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_released; });
            m_synced = true;
        }
        return Platform::DiskSync::syncFolder(path);
    }

    bool waitUntilHeld()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_waiting; });
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    [[nodiscard]] bool synced() const
    {
        std::lock_guard lock(m_mutex);
        return m_synced;
    }

    std::string held;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    mutable bool m_waiting = false;
    mutable bool m_released = false;
    mutable bool m_synced = false;
};

} // namespace

TEST(DurablePlacement, AFileIntoAFolderAnotherPlacementIsMakingWaitsUntilTheFolderIsDurable)
{
    // Two downloads in flight into one folder that is not there yet: the one
    // that makes it syncs its name into the cloud folder; the other sees the
    // folder already, but is not placed (and so not recorded) before that
    // name is durable, or a power cut could take its recorded file away.
    auto sync = std::make_shared<HeldFolderSync>();
    TestCloud cloud(TestCloud::Settings { .diskSync = sync });
    const auto transport = cloud.directory() + "/transport";
    ASSERT_EQ(::mkdir(transport.c_str(), 0700), 0);
    // An earlier download made the staging folder.
    Platform::Testing::writeFile(transport + "/0", "null");
    ASSERT_TRUE(cloud.fileSystemStore->placeDownload(DownloadedFile(transport + "/0"), *item("/null.txt"),
        cloud.cloudFolderURL(), Platform::ReplaceExisting::No));
    sync->held = cloud.diskPath("/").substr(0, cloud.diskPath("/").find_last_not_of('/') + 1);
    Platform::Testing::writeFile(transport + "/1", "eins");
    Platform::Testing::writeFile(transport + "/2", "zwei");
    auto first = item("/Neu/eins.txt", "", SyncFileID::remote(1));
    auto second = item("/Neu/zwei.txt", "", SyncFileID::remote(2));

    std::thread making([&] {
        EXPECT_TRUE(cloud.fileSystemStore->placeDownload(DownloadedFile(transport + "/1"), *first,
            cloud.cloudFolderURL(), Platform::ReplaceExisting::No));
    });
    ASSERT_TRUE(sync->waitUntilHeld());
    ASSERT_TRUE(cloud.exists("/Neu/"));
    std::atomic<bool> secondPlaced { false };
    bool durableWhenPlaced = false;
    std::thread placing([&] {
        EXPECT_TRUE(cloud.fileSystemStore->placeDownload(DownloadedFile(transport + "/2"), *second,
            cloud.cloudFolderURL(), Platform::ReplaceExisting::No));
        durableWhenPlaced = sync->synced();
        secondPlaced = true;
    });
    // Time enough for the second to be placed, were it not held back.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(secondPlaced) << "placed into a folder whose name was not durable yet";
    sync->release();
    making.join();
    placing.join();
    EXPECT_TRUE(durableWhenPlaced);
    EXPECT_EQ(cloud.readFile("/Neu/eins.txt"), "eins");
    EXPECT_EQ(cloud.readFile("/Neu/zwei.txt"), "zwei");
}
