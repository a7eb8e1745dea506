#include "Sync/Disk/FileSystemFileStore.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include "Platform/Foundation/Digest.hpp"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Platform::Testing::writeFile;

namespace {

constexpr auto emptyHash = "da39a3ee5e6b4b0d3255bfef95601890afd80709";

struct ScanFixture : ::testing::Test {
    TemporaryDirectory root;
    std::shared_ptr<TestConfiguration> configuration = std::make_shared<TestConfiguration>(root.path());
    std::shared_ptr<ContentHashCache> cache = ContentHashCache::create({ .racyInterval = std::chrono::nanoseconds { 0 } });
    FileSystemFileStore store { configuration, nullptr, cache };

    void mkdir(const std::string& relative) { ASSERT_EQ(::mkdir((root / relative).c_str(), 0755), 0); }
};

const FileWrapperItem& record(const FileRef& file) { return dynamic_cast<const FileWrapperItem&>(*file); }

} // namespace

// Proves an empty cloud folder gives one empty array followed by completion.
TEST_F(ScanFixture, EmptyFolderSendsOneEmptyArray)
{
    EXPECT_TRUE(scan(store).empty());
}

// Proves the scan's paths, names, order, types, hashes and dates, with ignored names left out but their contents kept.
TEST_F(ScanFixture, ListsItemsInPreOrderWithTypesHashesAndDates)
{
    writeFile(root / "b.txt", "hello");
    mkdir("Docs");
    writeFile(root / "Docs/empty.pdf", "");
    writeFile(root / "Docs/.DS_Store", "x");
    writeFile(root / ".hidden", "h");
    mkdir("thumbs.db");
    writeFile(root / "thumbs.db/inner.txt", "");
    writeFile(root / "Thumbs.db", "");
    writeFile(root / "icon\r", "");
    writeFile(root / "desktop.ini", "");
    writeFile(root / "noextension", "");
    auto date = Platform::Date::fromNanosecondsSince1970(1'500'000'000'123'456'789);
    setModificationTime(root / "b.txt", date);

    auto files = scan(store);

    EXPECT_EQ(pathsOf(files), (std::vector<std::string> { "/.hidden", "/Docs/", "/Docs/empty.pdf", "/Thumbs.db",
                                  "/b.txt", "/noextension", "/thumbs.db/inner.txt" }));
    ASSERT_EQ(files.size(), 7u);
    const auto& folder = record(files[1]);
    EXPECT_TRUE(folder.type().isFolder());
    EXPECT_EQ(folder.fileName(), "Docs");
    EXPECT_EQ(folder.fileHash(), "");
    const auto& pdf = record(files[2]);
    EXPECT_EQ(pdf.type(), FileType::file("application/pdf"));
    EXPECT_EQ(pdf.fileHash(), emptyHash);
    const auto& text = record(files[4]);
    EXPECT_EQ(text.fileName(), "b.txt");
    EXPECT_EQ(text.fileHash(), "aaf4c61ddcc5e8a2dabede0f3b482cd9aea9434d");
    EXPECT_EQ(text.lastModifiedDate(), date);
    EXPECT_EQ(record(files[5]).type(), FileType::file("text/plain"));
    for (const auto& file : files) {
        EXPECT_TRUE(file->syncFileID().isLocal());
        EXPECT_TRUE(file->syncParentID().isLocal());
        EXPECT_NE(file->syncFileID().localText(), file->syncParentID().localText());
        EXPECT_FALSE(file->syncEtag().has_value());
        EXPECT_FALSE(file->hasPublicShare() || file->hasPrivateShares());
    }
}

// Proves two scans of an unchanged tree give equal files with new local ids, and the second reads no file.
TEST_F(ScanFixture, UnchangedFilesAreNotReadAgain)
{
    mkdir("Docs");
    for (int index = 0; index < 20; ++index)
        writeFile(root / ("Docs/f" + std::to_string(index)), std::string(index * 100, 'x'));

    auto first = scan(store);
    auto readsAfterFirst = cache->readCount();
    auto second = scan(store);

    EXPECT_EQ(readsAfterFirst, 20u);
    EXPECT_EQ(cache->readCount(), readsAfterFirst);
    EXPECT_TRUE(sameFiles(first, second));
    EXPECT_NE(first[0]->syncFileID().localText(), second[0]->syncFileID().localText());

    // A changed file is read again, and only that one.
    writeFile(root / "Docs/f3", "changed");
    auto third = scan(store);
    EXPECT_EQ(cache->readCount(), readsAfterFirst + 1);
    auto changed = std::ranges::find_if(third, [](const FileRef& file) { return file->path() == "/Docs/f3"; });
    ASSERT_NE(changed, third.end());
    EXPECT_EQ((*changed)->fileHash(), Platform::sha1Hex(std::string_view("changed")));
}

// Proves deleted files leave the cache after the next complete scan.
TEST_F(ScanFixture, CacheHoldsOnlyTheLatestScansFiles)
{
    writeFile(root / "a", "1");
    writeFile(root / "b", "2");
    (void)scan(store);
    EXPECT_EQ(cache->size(), 2u);
    ::unlink((root / "a").c_str());
    (void)scan(store);
    EXPECT_EQ(cache->size(), 1u);
}

// Proves symbolic links, inside or leading out of the folder, are neither followed nor listed, with one line each.
TEST_F(ScanFixture, SymbolicLinksAreSkippedWithOneLogLine)
{
    TemporaryDirectory outside;
    writeFile(outside / "secret", "s");
    mkdir("Docs");
    writeFile(root / "Docs/a.txt", "a");
    ASSERT_EQ(::symlink((outside / "secret").c_str(), (root / "out").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), (root / "outdir").c_str()), 0);
    ASSERT_EQ(::symlink("Docs/a.txt", (root / "in").c_str()), 0);

    Platform::LogCapture log;
    auto files = scan(store);

    EXPECT_EQ(pathsOf(files), (std::vector<std::string> { "/Docs/", "/Docs/a.txt" }));
    auto lines = log.lines();
    EXPECT_EQ(std::ranges::count_if(lines, [](const auto& line) { return line.find("symbolic link") != std::string::npos; }), 3);
}

// Proves a cloud folder reached through a symbolic link is scanned with paths relative to the folder.
TEST_F(ScanFixture, CloudFolderBehindALinkIsResolved)
{
    TemporaryDirectory links;
    writeFile(root / "a.txt", "a");
    ASSERT_EQ(::symlink(root.path().c_str(), (links / "cloud").c_str()), 0);
    configuration->setFolder(links / "cloud");

    EXPECT_EQ(pathsOf(scan(store)), (std::vector<std::string> { "/a.txt" }));
}

// Proves names that are not valid UTF-8 are skipped with a log line, with the folder's contents.
TEST_F(ScanFixture, InvalidUTF8NamesAreSkipped)
{
    writeFile(root / "bad\xff", "x");
    mkdir("dir\xfe");
    writeFile(root / "dir\xfe/inner", "x");
    writeFile(root / "good", "x");

    Platform::LogCapture log;
    EXPECT_EQ(pathsOf(scan(store)), (std::vector<std::string> { "/good" }));
    EXPECT_TRUE(log.contains("not valid UTF-8: /bad%FF"));
}

// Proves special files such as FIFOs are skipped without being opened.
TEST_F(ScanFixture, SpecialFilesAreSkipped)
{
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0644), 0);
    writeFile(root / "z", "");
    EXPECT_EQ(pathsOf(scan(store)), (std::vector<std::string> { "/z" }));
}

// Proves a missing cloud folder gives an empty array, logged, and the folder is read afresh at every scan.
TEST_F(ScanFixture, FolderIsReadAfreshAndMayBeMissing)
{
    configuration->setFolder(root / "missing");
    Platform::LogCapture log;
    EXPECT_TRUE(scan(store).empty());
    EXPECT_TRUE(log.contains("❗️ "));

    writeFile(root / "a", "");
    configuration->setFolder(root.path());
    EXPECT_EQ(pathsOf(scan(store)), (std::vector<std::string> { "/a" }));
}

// Proves an unreadable subdirectory is logged and the scan goes on, and an unreadable file is listed without hash.
TEST_F(ScanFixture, UnreadableItemsDoNotEndTheScan)
{
    ::chmod(root.path().c_str(), 0755);
    mkdir("locked");
    writeFile(root / "locked/hidden", "");
    writeFile(root / "secret", "x");
    writeFile(root / "z.txt", "z");
    ::chmod((root / "locked").c_str(), 0);
    ::chmod((root / "secret").c_str(), 0);

    auto describe = [this] {
        Platform::LogCapture log;
        std::string text;
        for (const auto& file : scan(store))
            text += file->path() + "=" + std::string(file->fileHash().substr(0, 4)) + ";";
        text += log.contains("❗️ Permission denied") ? "logged" : "silent";
        return text;
    };
    std::string observed;
    if (::geteuid() != 0) {
        observed = describe();
    } else {
        // Root reads everything: the scan runs in a child that gave up root.
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipe[0]);
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(2);
            auto text = describe();
            [[maybe_unused]] auto written = ::write(pipe[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(pipe[1]);
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(pipe[0], buffer, sizeof buffer)) > 0)
            observed.append(buffer, static_cast<std::size_t>(count));
        ::close(pipe[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod((root / "locked").c_str(), 0755);
    EXPECT_EQ(observed, "/locked/=;/secret=;/z.txt=395d;logged");
}

// Proves scans running at once on several threads, sharing one store and its cache, each see the whole tree.
TEST_F(ScanFixture, ConcurrentScansShareTheCache)
{
    for (int index = 0; index < 50; ++index)
        writeFile(root / ("f" + std::to_string(index)), std::to_string(index));
    std::vector<std::vector<FileRef>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([this, &result] {
            store.files().startWithValues([&result](const std::vector<FileRef>& files) { result = files; });
        });
    for (auto& thread : threads)
        thread.join();

    for (const auto& result : results) {
        EXPECT_EQ(result.size(), 50u);
        EXPECT_TRUE(sameFiles(result, results.front()));
    }
    EXPECT_LE(cache->size(), 50u);
}

TEST(ScanUnreadable, OnlyWhatLiesInAnUnreadableFolderCountsAsUnknown)
{
    // A sibling whose name merely begins like the unreadable folder is read as usual: its deletes must go up.
    FileSystemFileStore::Scan scan;
    scan.unreadable = { "/A", "/Caf\xC3\xA9" };
    for (const std::string_view inside : { "/A", "/A/", "/A/x.txt", "/A/B/", "/Cafe\xCC\x81/y.txt" })
        EXPECT_NE(scan.unreadableAbove(inside), nullptr) << inside;
    for (const std::string_view beside : { "/Ab", "/Ab/x.txt", "/AB/", "/", "/Caf\xC3\xA9s/y.txt" })
        EXPECT_EQ(scan.unreadableAbove(beside), nullptr) << beside;
}
