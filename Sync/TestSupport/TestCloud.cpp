#include "Sync/TestSupport/TestCloud.hpp"

#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/FileSystem/FileOperations.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace Sync::Testing {

using Reactive::Event;
using Reactive::NoError;
using Reactive::Observer;

TestFolderConfiguration::TestFolderConfiguration(Platform::URL folderURL, bool movesToTrash)
    : m_movesToTrash(movesToTrash)
    , m_folderURL(std::move(folderURL))
{
}

namespace {

std::string temporaryDirectory()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/sync-engine-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

} // namespace

TestCloud::TestCloud()
    : TestCloud(Settings {})
{
}

TestCloud::TestCloud(Settings settings)
    : TestCloud(temporaryDirectory(), std::make_shared<InMemorySyncServer>(), settings)
{
}

TestCloud::TestCloud(std::string directory, std::shared_ptr<InMemorySyncServer> remote)
    : TestCloud(std::move(directory), std::move(remote), Settings {})
{
}

TestCloud::TestCloud(std::string directory, std::shared_ptr<InMemorySyncServer> remote, Settings settings)
    : server(std::move(remote))
    , m_directory(std::move(directory))
{
    m_cloudFolder = m_directory + "/Cloud";
    ::mkdir(m_cloudFolder.c_str(), 0700);

    storeScheduler = Reactive::QueueScheduler::make("TestCloud.stores");
    configuration = std::make_shared<TestFolderConfiguration>(cloudFolderURL());
    auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration(m_directory + "/Cloud.db"));
    fileStore = std::make_shared<RealmFileStore>(factory, storeScheduler);
    statusStore = std::make_shared<RealmFileSyncStatusStore>(factory, storeScheduler);
    ownChanges = Platform::OwnChangeRegistry::create();
    referenceMapping = std::make_shared<ExtendedAttributeFileReferenceMapping>(fileStore,
        Platform::ExtendedAttributes::system(), ownChanges, BindingMemo::Options { settings.bindingRacyInterval });
    hashCache = ContentHashCache::create();
    fileSystemStore.emplace(configuration, ownChanges, hashCache, settings.diskSync);
    manager = std::make_shared<SyncManager>(server, *fileSystemStore, fileStore, referenceMapping, statusStore);
}

TestCloud::~TestCloud()
{
    manager.reset();
    if (!m_keepDirectory) {
        static_cast<void>(Platform::removeItem(m_directory));
    }
}

TestCloud::RunResult TestCloud::sync(std::chrono::milliseconds timeout)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        RunResult result;
        bool ended = false;
    };
    auto shared = std::make_shared<Shared>();
    auto run = manager->performSync().start(
        Observer<SyncEventPair, NoError>::make([shared](Event<SyncEventPair, NoError>&& event) {
            std::lock_guard lock(shared->mutex);
            if (event.isValue()) {
                shared->result.events.push_back(std::move(event).value());
                return;
            }
            shared->result.completed = event.isCompleted();
            shared->ended = true;
            shared->changed.notify_all();
        }));
    std::unique_lock lock(shared->mutex);
    if (!shared->changed.wait_for(lock, timeout, [&] { return shared->ended; })) {
        lock.unlock();
        run.dispose();
        lock.lock();
    }
    return shared->result;
}

Platform::URL TestCloud::cloudFolderURL() const
{
    return Platform::URL::fileURL(m_cloudFolder, Platform::URL::IsDirectory::Yes);
}

std::string TestCloud::diskPath(const std::string& path) const
{
    return m_cloudFolder + path;
}

void TestCloud::writeFile(const std::string& path, const std::string& content, std::optional<Platform::Date> modified) const
{
    const auto target = diskPath(path);
    static_cast<void>(Platform::createDirectory(target.substr(0, target.rfind('/')), Platform::CreateIntermediates::Yes));
    {
        std::ofstream stream(target, std::ios::binary | std::ios::trunc);
        stream << content;
    }
    if (modified) {
        static_cast<void>(Platform::setModificationTime(target,
            Platform::FileTime(std::chrono::nanoseconds(modified->nanosecondsSince1970()))));
    }
}

void TestCloud::makeFolder(const std::string& path) const
{
    static_cast<void>(Platform::createDirectory(diskPath(path), Platform::CreateIntermediates::Yes));
}

void TestCloud::removeItem(const std::string& path) const
{
    static_cast<void>(Platform::removeItem(diskPath(path)));
}

void TestCloud::moveItem(const std::string& from, const std::string& to) const
{
    static_cast<void>(Platform::moveItem(diskPath(from), diskPath(to)));
}

std::optional<std::string> TestCloud::readFile(const std::string& path) const
{
    std::ifstream stream(diskPath(path), std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

bool TestCloud::exists(const std::string& path) const
{
    struct stat status {};
    return ::lstat(diskPath(path).c_str(), &status) == 0;
}

std::vector<std::string> TestCloud::diskPaths() const
{
    std::vector<std::string> paths;
    auto enumerator = Platform::DirectoryEnumerator::open(m_cloudFolder);
    if (!enumerator) {
        return paths;
    }
    while (auto entry = enumerator->next()) {
        if (entry->depth == 1 && FileSystemFileStore::isStagingName(entry->name)) {
            enumerator->skipDescendants();
            continue;
        }
        paths.push_back(entry->relativePath + (entry->status.isDirectory() ? "/" : ""));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> TestCloud::storedPaths() const
{
    std::vector<std::string> paths;
    for (const auto& file : fileStore->files()) {
        paths.push_back(file->path());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

FileSyncStatus TestCloud::status(const std::string& path) const
{
    return statusStore->status(Platform::URL::fileURL(diskPath(path)));
}

} // namespace Sync::Testing
