#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"
#include "Sync/Run/SyncManager.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"
#include "Sync/TestSupport/InMemorySyncServer.hpp"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Sync::Testing {

// The configuration the application hands the disk file store, with both
// values settable by the test.
class TestFolderConfiguration final : public FileSystemFileStoreConfiguration {
public:
    explicit TestFolderConfiguration(Platform::URL folderURL, bool movesToTrash = false);

    Reactive::Property<bool> movesToTrash() const override { return m_movesToTrash; }
    Reactive::Property<Platform::URL> folderURL() const override { return m_folderURL; }

    Reactive::MutableProperty<bool> m_movesToTrash;
    Reactive::MutableProperty<Platform::URL> m_folderURL;
};

// A whole engine as the application builds it, on real components: a private
// temporary directory holding the cloud folder ("Cloud") and the database
// file ("Cloud.db"), the disk file store, the stores over the database, the
// extended-attribute reference mapping and a SyncManager, all against an
// InMemorySyncServer. Deletes remove items (no Trash). The directory is
// removed when the object goes.
//
// Paths given to the helpers are relative to the cloud folder ("/A/b.txt").
class TestCloud {
public:

    struct RunResult {
        std::vector<SyncEventPair> events;
        bool completed = false;
    };

    struct Settings {
        // How long after an item's last change the engine may remember its
        // binding (BindingMemo). Tests run their syncs back to back and write
        // no attribute while a scan runs, so by default a binding is
        // remembered at once and every later run of a test answers from the
        // memo; benchmarks use the application's interval.
        std::chrono::nanoseconds bindingRacyInterval { 0 };
        // How the disk store makes what it places durable; the system's when null.
        std::shared_ptr<const Platform::DiskSync> diskSync;
    };

    TestCloud();
    explicit TestCloud(Settings settings);
    // The same over `directory` as an earlier engine left it (its cloud
    // folder and database file are used as they are), against `server`.
    // The directory is removed when the object goes.
    TestCloud(std::string directory, std::shared_ptr<InMemorySyncServer> remote);
    TestCloud(std::string directory, std::shared_ptr<InMemorySyncServer> remote, Settings settings);
    ~TestCloud();
    TestCloud(const TestCloud&) = delete;
    TestCloud& operator=(const TestCloud&) = delete;

    // Starts one run and waits for its end (at most `timeout`; a run still
    // going then is disposed and `completed` is false).
    RunResult sync(std::chrono::milliseconds timeout = std::chrono::seconds(60));

    [[nodiscard]] const std::string& directory() const { return m_directory; }
    // Leaves the directory in place when the object goes.
    void keepDirectory() { m_keepDirectory = true; }
    [[nodiscard]] const std::string& cloudFolder() const { return m_cloudFolder; }
    [[nodiscard]] Platform::URL cloudFolderURL() const;
    [[nodiscard]] std::string diskPath(const std::string& path) const;

    // The disk, written and read directly (not through the engine).
    void writeFile(const std::string& path, const std::string& content,
        std::optional<Platform::Date> modified = std::nullopt) const;
    void makeFolder(const std::string& path) const;
    void removeItem(const std::string& path) const;
    void moveItem(const std::string& from, const std::string& to) const;
    [[nodiscard]] std::optional<std::string> readFile(const std::string& path) const;
    [[nodiscard]] bool exists(const std::string& path) const;
    // Every item below the cloud folder but the engine's staging folder at
    // its top, folders with a trailing "/", sorted.
    [[nodiscard]] std::vector<std::string> diskPaths() const;

    // The stored state and statuses.
    [[nodiscard]] std::vector<std::string> storedPaths() const;
    [[nodiscard]] FileSyncStatus status(const std::string& path) const;

    std::shared_ptr<Reactive::QueueScheduler> storeScheduler;
    // Shared by the disk store and the reference mapping, as the application
    // shares it with the folder watcher: every disk change of a run, the
    // attributes included, is the engine's own.
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges;
    std::shared_ptr<ContentHashCache> hashCache;
    std::shared_ptr<TestFolderConfiguration> configuration;
    std::shared_ptr<InMemorySyncServer> server;
    std::shared_ptr<RealmFileStore> fileStore;
    std::shared_ptr<RealmFileSyncStatusStore> statusStore;
    std::shared_ptr<ExtendedAttributeFileReferenceMapping> referenceMapping;
    std::optional<FileSystemFileStore> fileSystemStore;
    std::shared_ptr<SyncManager> manager;

private:
    std::string m_directory;
    bool m_keepDirectory = false;
    std::string m_cloudFolder;
};

} // namespace Sync::Testing
