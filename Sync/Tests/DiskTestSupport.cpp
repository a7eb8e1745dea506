#include "Sync/Tests/DiskTestSupport.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>

namespace Sync::Testing {

TestConfiguration::TestConfiguration(const std::string& folder, bool movesToTrash)
    : m_movesToTrash(movesToTrash)
    , m_folderURL(Platform::URL::fileURL(folder, Platform::URL::IsDirectory::Yes))
{
}

void TestConfiguration::setFolder(const std::string& folder)
{
    m_folderURL.set(Platform::URL::fileURL(folder, Platform::URL::IsDirectory::Yes));
}

std::vector<FileRef> scan(const FileSystemFileStore& store)
{
    std::vector<std::vector<FileRef>> values;
    int completions = 0;
    store.files().start(Reactive::Observer<std::vector<FileRef>, Reactive::NoError>::make(
        [&](Reactive::Event<std::vector<FileRef>, Reactive::NoError>&& event) {
            if (event.isValue())
                values.push_back(std::move(event).value());
            else if (event.isCompleted())
                ++completions;
        }));
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(completions, 1);
    return values.empty() ? std::vector<FileRef> {} : values.front();
}

std::vector<std::string> pathsOf(const std::vector<FileRef>& files)
{
    std::vector<std::string> paths;
    for (const auto& file : files)
        paths.push_back(file->path());
    return paths;
}

std::shared_ptr<FileWrapperItem> item(const std::string& path, std::string hash, SyncFileID id, Platform::Date date)
{
    bool folder = path.size() > 1 && path.ends_with('/');
    auto trimmed = folder ? path.substr(0, path.size() - 1) : path;
    auto name = trimmed.substr(trimmed.rfind('/') + 1);
    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = std::move(id),
        .path = path,
        .fileName = name,
        .syncParentID = SyncFileID(),
        .lastModifiedDate = date,
        .type = folder ? FileType::folder() : FileType::file("text/plain"),
        .fileHash = std::move(hash)
    });
}

void setModificationTime(const std::string& path, Platform::Date date)
{
    struct timespec times[2] = { { 0, UTIME_OMIT }, date.timespec() };
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

Platform::Date modificationTime(const std::string& path)
{
    struct stat status { };
    EXPECT_EQ(::lstat(path.c_str(), &status), 0);
    return Platform::Date::fromTimespec(status.st_mtim);
}

DataHome::DataHome(const std::string& path)
{
    if (const char* previous = std::getenv("XDG_DATA_HOME"))
        m_previous = previous;
    ::setenv("XDG_DATA_HOME", path.c_str(), 1);
}

DataHome::~DataHome()
{
    if (m_previous)
        ::setenv("XDG_DATA_HOME", m_previous->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

FileRef InMemoryFileStore::file(const SyncFileID& id) const
{
    ++m_lookups;
    auto remote = id.remoteID();
    if (!remote)
        return nullptr;
    auto found = m_records.find(*remote);
    if (found == m_records.end())
        return nullptr;
    return std::make_shared<FileWrapperItem>(static_cast<const File&>(*found->second.file));
}

StoreResult<> InMemoryFileStore::setFile(const SyncFileID& id, const FileRef& file)
{
    if (file) {
        store(*file);
    } else if (auto remote = id.remoteID()) {
        m_records.erase(*remote);
    }
    return {};
}

void InMemoryFileStore::store(const File& file)
{
    if (auto remote = file.syncFileID().remoteID())
        m_records[*remote].file = std::make_shared<FileWrapperItem>(file);
}

FileRef InMemoryFileStore::fileAtPath(const std::string& path) const
{
    for (const auto& [id, record] : m_records) {
        if (Platform::canonicallyEqual(record.file->path(), path))
            return std::make_shared<FileWrapperItem>(static_cast<const File&>(*record.file));
    }
    return nullptr;
}

StoreResult<std::vector<FileRef>> InMemoryFileStore::loadFiles() const
{
    std::vector<FileRef> result;
    for (const auto& [id, record] : m_records)
        result.push_back(std::make_shared<FileWrapperItem>(static_cast<const File&>(*record.file)));
    return result;
}

StoreResult<> InMemoryFileStore::modifyOrCreate(const SyncFileID& id, const ModifyOrCreate& apply)
{
    FileRef current = file(id);
    FileWrapperItem::PublicShare publicShare;
    FileWrapperItem::PrivateShares privateShares;
    apply(current, publicShare, privateShares);
    return setFile(id, current);
}

Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError> InMemoryFileStore::filesProducer() const
{
    return Reactive::SignalProducer<std::vector<FileRef>, Reactive::NoError>::value(files());
}

} // namespace Sync::Testing
