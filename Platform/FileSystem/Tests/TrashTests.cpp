#include "Platform/FileSystem/Trash.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// What a child process reported: the problems it found (empty when none), or
// why it could not run.
struct ChildOutcome {
    bool skipped = false;
    std::string text;
};

// Runs `work` in a child process with a mount namespace of its own, where a
// fresh tmpfs is mounted at `mountPoint`: the test owns the whole file system,
// its top directory included, and nobody else sees it. Root may make the
// namespace directly; anyone else through a user namespace, where available.
ChildOutcome inMountOfItsOwn(const std::string& mountPoint, const std::function<std::string()>& work)
{
    int report[2];
    if (::pipe(report) != 0) {
        return {true, "no pipe"};
    }
    constexpr int cannotMount = 77;
    pid_t const child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        auto say = [&report](const std::string& text) {
            for (std::size_t written = 0; written < text.size();) {
                ssize_t const count = ::write(report[1], text.data() + written, text.size() - written);
                if (count <= 0) {
                    break;
                }
                written += static_cast<std::size_t>(count);
            }
        };
        uid_t const uid = ::getuid();
        gid_t const gid = ::getgid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
                say("needs a mount namespace of its own");
                ::_exit(cannotMount);
            }
            auto writeMap = [](const char* file, const std::string& text) {
                int const descriptor = ::open(file, O_WRONLY | O_CLOEXEC);
                bool const written = descriptor >= 0 && ::write(descriptor, text.data(), text.size()) ==
                                                            static_cast<ssize_t>(text.size());
                if (descriptor >= 0) {
                    ::close(descriptor);
                }
                return written;
            };
            writeMap("/proc/self/setgroups", "deny");
            if (!writeMap("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1\n") ||
                !writeMap("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1\n")) {
                say("cannot map the user into its namespace");
                ::_exit(cannotMount);
            }
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "mode=0755") != 0) {
            say(std::string("cannot mount a tmpfs: ") + std::strerror(errno));
            ::_exit(cannotMount);
        }
        say(work());
        ::_exit(0);
    }
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        return {true, "cannot fork"};
    }
    ChildOutcome outcome;
    char buffer[4096];
    for (ssize_t count; (count = ::read(report[0], buffer, sizeof buffer)) > 0;) {
        outcome.text.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == cannotMount) {
        outcome.skipped = true;
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        outcome.text += "the child ended abnormally";
    }
    return outcome;
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

// Proves an item on another file system goes to the trash at the top of that mount, never across file systems
// into the home trash: to $topdir/.Trash-$uid (private) while the mount has no shared .Trash, and to
// $topdir/.Trash/$uid once an administrator made a sticky .Trash, each with a path relative to the mount.
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

        if (::mkdir((top + "/.Trash").c_str(), 0777) != 0 || ::chmod((top + "/.Trash").c_str(), 01777) != 0) {
            return "cannot make the shared trash";
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
