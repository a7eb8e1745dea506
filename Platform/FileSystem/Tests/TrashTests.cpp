#include "Platform/FileSystem/Trash.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/MountOfItsOwn.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sched.h>
#include <regex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;

namespace {

// Points $XDG_DATA_HOME at a private directory for one test.
class DataHome {
public:
    explicit DataHome(const std::string& path)
    {
        if (char const* previous = std::getenv("XDG_DATA_HOME")) {
            m_previous = previous;
        }
        ::setenv("XDG_DATA_HOME", path.c_str(), 1);
    }
    ~DataHome()
    {
        if (m_previous) {
            ::setenv("XDG_DATA_HOME", m_previous->c_str(), 1);
        } else {
            ::unsetenv("XDG_DATA_HOME");
        }
    }

private:
    std::optional<std::string> m_previous;
};

std::uint32_t modeOf(const std::string& path)
{
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode & 07777;
}

}  // namespace

// Proves an item on the home trash's file system lands in $XDG_DATA_HOME/Trash/files with an info file
// giving its percent-encoded absolute path and a local deletion date, in private directories.
TEST(TrashTests, MovesToHomeTrashWithInfo)
{
    TemporaryDirectory root;
    DataHome const dataHome(root / "data");
    ASSERT_TRUE(createDirectory(root / "cloud/Ordner", CreateIntermediates::Yes).has_value());
    std::string const item = root / "cloud/Ordner/Bericht f\xc3\xbcr 100%.txt";
    writeFile(item, "content");

    std::time_t const before = std::time(nullptr);
    auto trashed = Trash::moveToTrash(item);
    std::time_t const after = std::time(nullptr);

    ASSERT_TRUE(trashed.has_value()) << trashed.error().description();
    std::string const trash = root / "data/Trash";
    EXPECT_EQ(trashed->trashedPath, trash + "/files/Bericht f\xc3\xbcr 100%.txt");
    EXPECT_EQ(trashed->infoPath, trash + "/info/Bericht f\xc3\xbcr 100%.txt.trashinfo");
    EXPECT_FALSE(exists(item));
    EXPECT_EQ(readFile(trashed->trashedPath), "content");
    std::string const info = readFile(trashed->infoPath);
    std::regex const expected("\\[Trash Info\\]\nPath=" + root.path() +
                              "/cloud/Ordner/Bericht%20f%C3%BCr%20100%25\\.txt\n"
                              "DeletionDate=\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\n");
    EXPECT_TRUE(std::regex_match(info, expected)) << info;
    // The date is the moment of the move, in local time.
    std::tm deleted {};
    auto const date = info.find("DeletionDate=");
    ASSERT_NE(date, std::string::npos);
    ASSERT_NE(::strptime(info.c_str() + date + 13, "%Y-%m-%dT%H:%M:%S", &deleted), nullptr) << info;
    deleted.tm_isdst = -1;
    std::time_t const recorded = std::mktime(&deleted);
    EXPECT_LE(before, recorded) << info;
    EXPECT_LE(recorded, after) << info;
    EXPECT_EQ(modeOf(trashed->infoPath), 0600u);
    EXPECT_EQ(modeOf(trash), 0700u);
    EXPECT_EQ(modeOf(trash + "/files"), 0700u);
    EXPECT_EQ(modeOf(trash + "/info"), 0700u);
}

// Proves a second item of the same name gets a unique name (and info file) instead of replacing the first, and so
// does one whose name a leftover without info file holds, that a folder goes to the trash whole, and that a missing
// item is "not found" with nothing written.
TEST(TrashTests, MakesNamesUniqueAndTrashesFolders)
{
    TemporaryDirectory root;
    DataHome const dataHome(root / "data");
    ASSERT_TRUE(createDirectory(root / "cloud/folder", CreateIntermediates::Yes).has_value());
    writeFile(root / "cloud/a.txt", "first");
    ASSERT_TRUE(Trash::moveToTrash(root / "cloud/a.txt").has_value());
    writeFile(root / "cloud/a.txt", "second");
    auto second = Trash::moveToTrash(root / "cloud/a.txt");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->trashedPath, root / "data/Trash/files/a.2.txt");
    EXPECT_TRUE(exists(root / "data/Trash/info/a.2.txt.trashinfo"));
    EXPECT_EQ(readFile(root / "data/Trash/files/a.txt"), "first");
    EXPECT_EQ(readFile(root / "data/Trash/files/a.2.txt"), "second");

    writeFile(root / "cloud/folder/inside", "i");
    auto folder = Trash::moveToTrash(root / "cloud/folder/");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ(readFile(root / "data/Trash/files/folder/inside"), "i");

    // A leftover in files/ without its info file (a crash between the two) is neither replaced nor given a second
    // info file: the item takes the next free name, and no info file is left for a name it did not take.
    writeFile(root / "data/Trash/files/b.txt", "left over");
    writeFile(root / "cloud/b.txt", "b");
    auto beside = Trash::moveToTrash(root / "cloud/b.txt");
    ASSERT_TRUE(beside.has_value()) << beside.error().description();
    EXPECT_EQ(beside->trashedPath, root / "data/Trash/files/b.2.txt");
    EXPECT_EQ(readFile(beside->trashedPath), "b");
    EXPECT_EQ(readFile(root / "data/Trash/files/b.txt"), "left over");
    EXPECT_FALSE(exists(root / "data/Trash/info/b.txt.trashinfo"));
    EXPECT_TRUE(exists(root / "data/Trash/info/b.2.txt.trashinfo"));

    auto missing = Trash::moveToTrash(root / "cloud/missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);
}

// Proves an item on another file system goes to the trash at the top of that mount, never across file systems
// into the home trash: to $topdir/.Trash-$uid (private) while the mount has no shared .Trash, and to
// $topdir/.Trash/$uid once an administrator made a sticky .Trash (one without the sticky bit is passed over), each
// with a path relative to the mount.
// The mount is a tmpfs of the test's own, seen only by a child process in a mount namespace of its own.
TEST(TrashTests, UsesTheTrashOfTheItemsMount)
{
    TemporaryDirectory home;
    DataHome const dataHome(home / "data");
    std::string const top = home / "mount";
    ASSERT_TRUE(createDirectory(top, CreateIntermediates::No).has_value());

    auto const outcome = inMountOfItsOwn(top, [&]() -> std::string {
        std::string const uid = std::to_string(::getuid());
        std::string problems;
        auto check = [&problems](bool holds, const std::string& what) {
            if (!holds) {
                problems += what + "\n";
            }
        };
        if (::mkdir((top + "/Ordner").c_str(), 0755) != 0) {
            return "cannot make a folder in the mount";
        }
        writeFile(top + "/Ordner/x.txt", "x");
        auto privateTrashed = Trash::moveToTrash(top + "/Ordner/x.txt");
        check(privateTrashed.has_value(), "no private mount trash: " +
                                              (privateTrashed ? std::string() : privateTrashed.error().description()));
        if (privateTrashed) {
            check(privateTrashed->trashedPath == top + "/.Trash-" + uid + "/files/x.txt", privateTrashed->trashedPath);
            check(readFile(privateTrashed->trashedPath) == "x", "content lost");
            check(readFile(privateTrashed->infoPath).find("\nPath=Ordner/x.txt\n") != std::string::npos,
                  readFile(privateTrashed->infoPath));
            check(modeOf(top + "/.Trash-" + uid) == 0700u, "the private trash is not 0700");
        }

        // A shared .Trash without the sticky bit lets every user remove what others put there: not used.
        if (::mkdir((top + "/.Trash").c_str(), 0777) != 0 || ::chmod((top + "/.Trash").c_str(), 0777) != 0) {
            return "cannot make the shared trash";
        }
        writeFile(top + "/z.txt", "z");
        auto notSticky = Trash::moveToTrash(top + "/z.txt");
        check(notSticky.has_value() && notSticky->trashedPath == top + "/.Trash-" + uid + "/files/z.txt",
              "a shared trash without the sticky bit was used: " +
                  (notSticky ? notSticky->trashedPath : notSticky.error().description()));
        check(!exists(top + "/.Trash/" + uid), "a folder was made in a shared trash without the sticky bit");

        if (::chmod((top + "/.Trash").c_str(), 01777) != 0) {
            return "cannot make the shared trash sticky";
        }
        writeFile(top + "/y.txt", "y");
        auto sharedTrashed = Trash::moveToTrash(top + "/y.txt");
        check(sharedTrashed.has_value(), "no shared mount trash: " +
                                             (sharedTrashed ? std::string() : sharedTrashed.error().description()));
        if (sharedTrashed) {
            check(sharedTrashed->trashedPath == top + "/.Trash/" + uid + "/files/y.txt", sharedTrashed->trashedPath);
            check(readFile(sharedTrashed->infoPath).find("\nPath=y.txt\n") != std::string::npos,
                  readFile(sharedTrashed->infoPath));
            check(modeOf(top + "/.Trash/" + uid) == 0700u, "the user's folder in the shared trash is not 0700");
        }
        return problems;
    });

    if (outcome.skipped) {
        GTEST_SKIP() << outcome.text;
    }
    EXPECT_EQ(outcome.text, "");
    EXPECT_FALSE(exists(home / "data/Trash"));
}

namespace {

// Runs `script` with /bin/sh in a mount namespace of its own on a fresh tmpfs (open to all, sticky, as /tmp)
// at `mountPoint` (seen by nobody else), and returns what it printed.
std::optional<std::string> onPrivateMount(const std::string& mountPoint, const std::string& script)
{
    std::string command = "unshare -m sh -c 'mount -t tmpfs -o mode=1777 none " + mountPoint + " && cd " + mountPoint +
                          " && " + script + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string output;
    char buffer[4096];
    while (auto count = std::fread(buffer, 1, sizeof buffer, pipe)) {
        output.append(buffer, count);
    }
    return ::pclose(pipe) == 0 ? std::optional(output) : std::nullopt;
}

}  // namespace

// Proves that on another mount the Trash is used only when it is the user's own: a $topdir/.Trash/$uid
// another user made (and may write to) is refused with a log line and the item goes to the user's own
// .Trash-$uid; a .Trash-$uid made by another user is refused too and the item stays where it is.
// Runs the real code as an unprivileged user on a mount of the test's own.
TEST(TrashTests, MountTrashOthersMadeIsRefused)
{
    if (::getuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs root to mount a file system and act as a second user";
    }
    TemporaryDirectory root;
    ::chmod(root.path().c_str(), 0755);
    std::string const mount = root / "mount";
    ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0);
    std::string const asVictim = "setpriv --reuid=nobody --regid=nogroup --clear-groups " TRASH_TOOL " ";
    std::string const victim = "mkdir v && echo one > v/a.txt && chown -R nobody:nogroup v && ";

    auto planted = onPrivateMount(mount, victim +
        "mkdir -m 1777 .Trash && mkdir -m 0777 .Trash/65534 && chmod 0777 .Trash/65534 && " + asVictim +
        "v/a.txt; echo status=$?; echo planted=$(ls -A .Trash/65534); stat -c owner=%U:%a .Trash-65534");
    ASSERT_TRUE(planted.has_value());
    EXPECT_NE(planted->find("status=0"), std::string::npos) << *planted;
    EXPECT_NE(planted->find(mount + "/.Trash-65534/files/a.txt"), std::string::npos) << *planted;
    EXPECT_NE(planted->find("planted=\n"), std::string::npos) << *planted;
    EXPECT_NE(planted->find("owner=nobody:700"), std::string::npos) << *planted;
    EXPECT_NE(planted->find(".Trash/65534 wird nicht benutzt"), std::string::npos) << *planted;

    auto foreign = onPrivateMount(mount, victim + "mkdir -m 0777 .Trash-65534 && chmod 0777 .Trash-65534 && " + asVictim +
        "v/a.txt; echo status=$?; echo planted=$(ls -A .Trash-65534); echo left=$(ls v)");
    ASSERT_TRUE(foreign.has_value());
    EXPECT_NE(foreign->find("status=1"), std::string::npos) << *foreign;
    EXPECT_NE(foreign->find("planted=\n"), std::string::npos) << *foreign;
    EXPECT_NE(foreign->find("left=a.txt\n"), std::string::npos) << *foreign;
    EXPECT_NE(foreign->find(".Trash-65534 wird nicht benutzt"), std::string::npos) << *foreign;
}
