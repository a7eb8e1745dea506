#include "Platform/FileSystem/Trash.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sys/stat.h>
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

    auto trashed = Trash::moveToTrash(item);

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
    EXPECT_EQ(modeOf(trash), 0700u);
    EXPECT_EQ(modeOf(trash + "/files"), 0700u);
    EXPECT_EQ(modeOf(trash + "/info"), 0700u);
}

// Proves a second item of the same name gets a unique name (and info file) instead of replacing the first,
// that a folder goes to the trash whole, and that a missing item is "not found" with nothing written.
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

    auto missing = Trash::moveToTrash(root / "cloud/missing");
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);
}

// Proves an item on another file system (the tmpfs at /dev/shm) goes to that mount's .Trash-$uid with a
// path relative to the mount, never across file systems into the home trash.
TEST(TrashTests, UsesTheTrashOfTheItemsMount)
{
    TemporaryDirectory home;
    DataHome const dataHome(home / "data");
    struct stat shm {};
    struct stat tmp {};
    if (::stat("/dev/shm", &shm) != 0 || ::access("/dev/shm", W_OK) != 0 || ::stat(home.path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev) {
        GTEST_SKIP() << "needs a writable /dev/shm on its own file system";
    }
    std::string const mountTrash = "/dev/shm/.Trash-" + std::to_string(::getuid());
    bool const trashExisted = exists(mountTrash);
    TemporaryDirectory root("/dev/shm");
    writeFile(root / "x.txt", "x");

    auto trashed = Trash::moveToTrash(root / "x.txt");

    ASSERT_TRUE(trashed.has_value()) << trashed.error().description();
    EXPECT_EQ(trashed->trashedPath.rfind(mountTrash + "/files/", 0), 0u) << trashed->trashedPath;
    std::string const info = readFile(trashed->infoPath);
    std::string const relative = root.path().substr(std::string("/dev/shm/").size()) + "/x.txt";
    EXPECT_NE(info.find("\nPath=" + relative + "\n"), std::string::npos) << info;
    EXPECT_FALSE(exists(home / "data/Trash"));
    EXPECT_EQ(modeOf(mountTrash), 0700u);

    ::unlink(trashed->trashedPath.c_str());
    ::unlink(trashed->infoPath.c_str());
    if (!trashExisted) {
        ::rmdir((mountTrash + "/files").c_str());
        ::rmdir((mountTrash + "/info").c_str());
        ::rmdir(mountTrash.c_str());
    }
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
