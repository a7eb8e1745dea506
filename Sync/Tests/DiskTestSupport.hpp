#pragma once

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Disk/FileSystemFileStoreConfiguration.hpp"
#include "Sync/Store/FileStore.hpp"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Sync::Testing {

using Platform::Testing::TemporaryDirectory;

// The application's side of the disk store, with both values changeable.
class TestConfiguration final : public FileSystemFileStoreConfiguration {
public:
    explicit TestConfiguration(const std::string& folder, bool movesToTrash = false);

    Reactive::Property<bool> movesToTrash() const override { return m_movesToTrash.property(); }
    Reactive::Property<Platform::URL> folderURL() const override { return m_folderURL.property(); }

    void setMovesToTrash(bool value) { m_movesToTrash.set(value); }
    void setFolder(const std::string& folder);

private:
    Reactive::MutableProperty<bool> m_movesToTrash;
    Reactive::MutableProperty<Platform::URL> m_folderURL;
};

// Runs one scan on this thread and returns its one array; fails the test
// when the producer does not send exactly one value and complete.
std::vector<FileRef> scan(const FileSystemFileStore& store);

// The paths of a scan, in order.
std::vector<std::string> pathsOf(const std::vector<FileRef>& files);

// A file record at `path` for disk operations (a folder when the path ends with "/").
std::shared_ptr<FileWrapperItem> item(const std::string& path, std::string hash = "",
    SyncFileID id = SyncFileID(), Platform::Date date = Platform::Date::fromWholeSecondsSince1970(1'000'000'000));

// Sets the modification time of `path` to the nanosecond.
void setModificationTime(const std::string& path, Platform::Date date);
Platform::Date modificationTime(const std::string& path);

// Points $XDG_DATA_HOME at a directory for the life of the object.
class DataHome {
public:
    explicit DataHome(const std::string& path);
    ~DataHome();
    DataHome(const DataHome&) = delete;
    DataHome& operator=(const DataHome&) = delete;

private:
    std::optional<std::string> m_previous;
};

// A FileStore in memory, keyed by remote id, for the reference mapping's tests.
class InMemoryFileStore final : public FileStore {
public:
    StoreResult<> clean() override
    {
        m_records.clear();
        return {};
    }
    StoreResult<> add(const File& file) override
    {
        store(file);
        return {};
    }
    FileRef file(const SyncFileID& id) const override;
    StoreResult<> setFile(const SyncFileID& id, const FileRef& file) override;
    FileRef fileAtPath(const std::string& path) const override;
    StoreResult<std::vector<FileRef>> loadFiles() const override;
    StoreResult<> modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply) override;
    Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> filesProducer() const override;

    int lookups() const { return m_lookups; }

private:
    void store(const File& file);

    struct Record {
        std::shared_ptr<FileWrapperItem> file;
    };
    std::map<std::int64_t, Record> m_records;
    mutable int m_lookups = 0;
};

} // namespace Sync::Testing
