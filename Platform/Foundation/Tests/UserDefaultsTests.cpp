#include "Platform/Foundation/UserDefaults.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/NotificationCenter.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace Platform;
using Platform::Testing::TemporaryDirectory;
using Platform::Testing::waitUntil;

namespace {

pid_t spawnWriter(const std::vector<std::string>& arguments)
{
    std::vector<std::string> storage { USER_DEFAULTS_TEST_WRITER };
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, USER_DEFAULTS_TEST_WRITER, nullptr, nullptr, argv.data(), environ), 0);
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(UserDefaultsTests, TypedReadsFallBackToRegisteredDefaultsAndSurviveReopening)
{
    // Stored values win over registered ones, other types read as false/nothing/0, and only stored values reach the file.
    TemporaryDirectory folder;
    {
        auto defaults = UserDefaults::open(folder.path()).value();
        defaults->registerDefaults({ { "Flag", true }, { "Name", "default" } });
        EXPECT_TRUE(defaults->boolValue("Flag"));
        EXPECT_EQ(defaults->string("Name"), "default");
        EXPECT_FALSE(defaults->object("Missing"));
        ASSERT_TRUE(defaults->set("Flag", false));
        ASSERT_TRUE(defaults->set("Count", 7));
        EXPECT_FALSE(defaults->boolValue("Flag"));
        EXPECT_EQ(defaults->integer("Count"), 7);
        EXPECT_FALSE(defaults->string("Count"));
        EXPECT_FALSE(defaults->boolValue("Count"));
        auto dictionary = defaults->dictionaryRepresentation();
        EXPECT_EQ(dictionary.size(), 3u);
        EXPECT_EQ(dictionary.at("Name"), "default");
    }
    auto reopened = UserDefaults::open(folder.path()).value();
    EXPECT_FALSE(reopened->object("Name")); // registered defaults are never written
    EXPECT_EQ(reopened->integer("Count"), 7);
    ASSERT_TRUE(reopened->remove("Count"));
    EXPECT_FALSE(reopened->object("Count"));
    struct stat status {};
    ASSERT_EQ(::stat(reopened->filePath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(UserDefaultsTests, EveryWritePostsTheLocalDidChangeNotificationAfterTheFileIsInPlace)
{
    // The notification follows each write of this process, with the suite as sender, and the file already holds the value.
    TemporaryDirectory folder;
    auto defaults = UserDefaults::open(folder.path()).value();
    std::vector<std::optional<UserDefaults::Value>> seenInFile;
    auto registration = NotificationCenter::defaultCenter().addObserver(std::string(UserDefaults::didChangeNotification), defaults.get(),
        [&](const Notification&) { seenInFile.push_back(UserDefaults::open(folder.path()).value()->object("Key")); });
    ASSERT_TRUE(defaults->set("Key", "one"));
    ASSERT_TRUE(defaults->set("Key", "two"));
    ASSERT_TRUE(defaults->remove("Key"));
    ASSERT_EQ(seenInFile.size(), 3u);
    EXPECT_EQ(seenInFile[0], UserDefaults::Value("one"));
    EXPECT_EQ(seenInFile[1], UserDefaults::Value("two"));
    EXPECT_FALSE(seenInFile[2]);
}

TEST(UserDefaultsTests, TwoProcessesWritingDifferentKeysAtOnceLoseNone)
{
    // A second process and this one write 60 keys each at the same time; every key of both is in the file afterwards.
    TemporaryDirectory folder;
    auto defaults = UserDefaults::open(folder.path()).value();
    auto writer = spawnWriter({ folder.path(), "Peer", "60" });
    for (int index = 0; index < 60; ++index)
        ASSERT_TRUE(defaults->set("Own" + std::to_string(index), index));
    ASSERT_EQ(waitFor(writer), 0);
    auto reopened = UserDefaults::open(folder.path()).value();
    for (int index = 0; index < 60; ++index) {
        EXPECT_EQ(reopened->integer("Own" + std::to_string(index)), index);
        EXPECT_EQ(reopened->integer("Peer" + std::to_string(index)), index);
    }
}

TEST(UserDefaultsTests, AnotherProcessesChangeReachesTheKeysProducer)
{
    // The producer sends the current value at once, then the value another process wrote, seen through inotify.
    TemporaryDirectory folder;
    auto defaults = UserDefaults::open(folder.path()).value();
    defaults->registerDefaults({ { "Shared0", "registered" } });
    std::mutex mutex;
    std::vector<std::optional<UserDefaults::Value>> values;
    auto disposable = defaults->producer("Shared0").startWithValues([&](std::optional<UserDefaults::Value> value) {
        std::lock_guard lock(mutex);
        values.push_back(std::move(value));
    });
    ASSERT_EQ(waitFor(spawnWriter({ folder.path(), "Shared", "1", "from peer" })), 0);
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return values.size() >= 2;
    }));
    std::lock_guard lock(mutex);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], UserDefaults::Value("registered"));
    EXPECT_EQ(values[1], UserDefaults::Value("from peer"));
    EXPECT_EQ(defaults->string("Shared0"), "from peer");
    disposable.dispose();
}

TEST(UserDefaultsTests, ACorruptFileIsSetAsideAndReadAsEmpty)
{
    // A file that is no JSON object is renamed to "defaults.json.corrupt" with its bytes, logged with "❗️", and the suite starts empty.
    TemporaryDirectory folder;
    Platform::Testing::writeFile(folder / "defaults.json", "{\"Key\": tru");
    LogCapture log;
    auto defaults = UserDefaults::open(folder.path()).value();
    EXPECT_FALSE(defaults->object("Key"));
    EXPECT_EQ(Platform::Testing::readFile(folder / "defaults.json.corrupt"), "{\"Key\": tru");
    bool logged = false;
    for (auto& line : log.lines())
        logged = logged || (line.starts_with("❗️") && line.find("defaults.json") != std::string::npos);
    EXPECT_TRUE(logged);
    ASSERT_TRUE(defaults->set("Key", true));
    EXPECT_TRUE(UserDefaults::open(folder.path()).value()->boolValue("Key"));
}

TEST(UserDefaultsTests, AnObserverMayWriteASettingFromItsCallback)
{
    // A producer's observer that writes another key while being told of a change neither blocks nor loses either key
    // (it may be told on the writing thread or on the watcher's).
    TemporaryDirectory folder;
    auto defaults = UserDefaults::open(folder.path()).value();
    auto disposable = defaults->producer("Trigger").startWithValues([&](std::optional<UserDefaults::Value> value) {
        if (value)
            (void)defaults->set("Follower", *value);
    });
    ASSERT_TRUE(defaults->set("Trigger", "go"));
    EXPECT_TRUE(waitUntil([&] { return defaults->string("Follower") == "go"; }));
    EXPECT_EQ(defaults->string("Trigger"), "go");
    EXPECT_EQ(UserDefaults::open(folder.path()).value()->string("Trigger"), "go");
    disposable.dispose();
}

TEST(UserDefaultsTests, AWriteIsReadBackAtOnceWhileTheWatcherCatchesUp)
{
    // 300 writes in a row, each read back at once: the watcher's reads of older versions of the file never overwrite a newer write.
    TemporaryDirectory folder;
    auto defaults = UserDefaults::open(folder.path()).value();
    int stale = 0;
    for (int index = 0; index < 300; ++index) {
        ASSERT_TRUE(defaults->set("Counter", index));
        stale += defaults->integer("Counter") != index;
    }
    EXPECT_EQ(stale, 0);
}

namespace {

std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(UserDefaultsTests, AFailedWriteLeavesNoTemporaryFileBehind)
{
    // A write that cannot be put in place (a folder stands at the file's path) and one that fails half-way (the
    // file size limit, as a full disk would) each fail and leave the folder as it was, with no temporary file.
    TemporaryDirectory directory;
    const std::filesystem::path folder = directory.path();
    std::filesystem::create_directories(folder / "settings.json" / "inside");
    auto replaced = writeFileAtomically(folder / "settings.json", "{}\n", 0600);
    EXPECT_FALSE(replaced);
    EXPECT_EQ(namesIn(folder), std::vector<std::string> { "settings.json" });
    std::filesystem::remove_all(folder / "settings.json");

    // The limit holds for the whole process: the write runs in a child.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 16, 16 };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(2);
        auto written = writeFileAtomically(folder / "settings.json", std::string(4096, 'x'), 0600);
        ::_exit(!written && written.error() == std::errc::file_too_large ? 0 : 1);
    }
    EXPECT_EQ(waitFor(child), 0) << "the write did not fail as too large";
    EXPECT_EQ(namesIn(folder), std::vector<std::string> {});
}
