// Folders the engine cannot read, as an unprivileged user meets them: root
// reads every folder whatever its mode, so each run here is the engine in a
// driver process under setpriv as "nobody", over a directory it owns.

#include "Sync/Tests/SyncEngineTestSupport.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/KillPoint.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

namespace {

struct DriverRun {
    int exitCode = -1;
    std::string output;

    // The lines of the output that begin with `prefix`, without it.
    [[nodiscard]] std::vector<std::string> lines(const std::string& prefix) const
    {
        std::vector<std::string> found;
        std::size_t start = 0;
        while (start < output.size()) {
            auto end = output.find('\n', start);
            if (end == std::string::npos)
                end = output.size();
            auto line = output.substr(start, end - start);
            if (line.starts_with(prefix))
                found.push_back(line.substr(prefix.size()));
            start = end + 1;
        }
        return found;
    }
};

// Gives `directory` and everything below it to "nobody".
void giveToNobody(const std::string& directory)
{
    const auto* user = ::getpwnam("nobody");
    const auto* group = ::getgrnam("nogroup");
    if (!user || !group)
        throw std::runtime_error("no user nobody or group nogroup");
    auto own = [&](const std::filesystem::path& path) {
        if (::lchown(path.c_str(), user->pw_uid, group->gr_gid) != 0)
            throw std::runtime_error("lchown failed: " + path.string());
    };
    own(directory);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
        own(entry.path());
}

// One run of the engine over `directory` (a kept TestCloud's, with its
// server in server.json) as "nobody".
DriverRun runAsNobody(const std::string& directory)
{
    giveToNobody(directory);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe failed");
    pid_t child = ::fork();
    if (child == 0) {
        ::setenv("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1", 1);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execlp("setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", SYNC_CRASH_DRIVER,
            directory.c_str(), "0", nullptr);
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    DriverRun run;
    char buffer[512];
    for (ssize_t count; (count = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(count));
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// A synced cloud folder whose directory outlives the object, its server kept in server.json.
std::string syncedCloud(const std::function<void(InMemorySyncServer&)>& fill)
{
    TestCloud cloud;
    cloud.keepDirectory();
    fill(*cloud.server);
    cloud.server->persistTo(cloud.directory() + "/server.json");
    EXPECT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
    return cloud.directory();
}

void fillTree(InMemorySyncServer& server)
{
    server.addFile("/A/x.txt", "x");
    server.addFile("/A/Sub/y.txt", "y");
    server.addFile("/B/z.txt", "z");
    server.addFile("/top.txt", "top");
}

// The server as the driver left it; the directory is removed with the object.
std::vector<std::string> serverPathsAfter(const std::string& directory)
{
    auto server = InMemorySyncServer::load(directory + "/server.json");
    EXPECT_TRUE(server);
    return server ? server->paths() : std::vector<std::string>();
}

} // namespace

TEST(UnreadableFolders, AFolderThatCannotBeReadKeepsItsItemsOnTheServerAndIsReportedOnce)
{
    // Mode 000 (neither listed nor entered) and mode 0444 (listed, but its
    // items cannot be looked at): both once scanned as empty, and the local
    // phase deleted everything below them on the server.
    for (mode_t mode : { mode_t(0), mode_t(0444) }) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const auto directory = syncedCloud(fillTree);
        const auto before = serverPathsAfter(directory);
        ASSERT_EQ(::chmod((directory + "/Cloud/A").c_str(), mode), 0);

        auto run = runAsNobody(directory);

        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(serverPathsAfter(directory), before) << run.output;
        EXPECT_EQ(run.lines("error event: "),
            (std::vector<std::string> { "Folder cannot be read, its items are kept: /A" }))
            << run.output;

        // Readable again, the next run finds everything in step.
        ASSERT_EQ(::chmod((directory + "/Cloud/A").c_str(), 0755), 0);
        auto server = InMemorySyncServer::load(directory + "/server.json");
        ASSERT_TRUE(server);
        TestCloud cloud(directory, server);
        server->resetCounts();
        ASSERT_TRUE(cloud.sync().completed);
        EXPECT_EQ(server->mutationCount(), 0);
        EXPECT_EQ(server->callCount(Call::download), 0);
        expectInStep(cloud);
    }
}

TEST(UnreadableFolders, AnUnreadableCloudFolderFailsTheRunBeforeAnyRequest)
{
    const auto directory = syncedCloud(fillTree);
    const auto before = serverPathsAfter(directory);
    ASSERT_EQ(::chmod((directory + "/Cloud").c_str(), 0), 0);

    auto run = runAsNobody(directory);

    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(serverPathsAfter(directory), before);
    auto errors = run.lines("error event: ");
    ASSERT_EQ(errors.size(), 1u) << run.output;
    EXPECT_TRUE(errors[0].starts_with("Der Cloud-Ordner „" + directory + "/Cloud")) << errors[0];
    EXPECT_TRUE(errors[0].ends_with("kann nicht gelesen werden. Bitte prüfen Sie die Zugriffsrechte; bis dahin wird "
                                    "nicht synchronisiert."))
        << errors[0];
    EXPECT_EQ(run.lines("server calls: "), (std::vector<std::string> { "0" })) << run.output;

    ASSERT_EQ(::chmod((directory + "/Cloud").c_str(), 0755), 0);
    auto server = InMemorySyncServer::load(directory + "/server.json");
    ASSERT_TRUE(server);
    TestCloud cloud(directory, server);
    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
}

namespace {

// Moves the cloud folder's "/A" out of it the first time the scan has listed a
// folder and not yet entered it; "A" sorts first, so that folder is "/A".
std::string vanishingFolder;
std::string vanishedTo;

void moveAwayOnce(const char* name)
{
    if (std::string_view(name) != "scan-folder-listed" || vanishingFolder.empty())
        return;
    std::filesystem::rename(std::exchange(vanishingFolder, std::string()), vanishedTo);
}

} // namespace

TEST(UnreadableFolders, AFolderThatVanishesUnderTheScanIsNotReadAsEmpty)
{
    // A folder listed by the walk and gone before the walk could enter it
    // (moved to where the walk had already been, or deleted) once scanned as
    // an empty folder, and the local phase deleted everything below it on
    // the server. It is unknown for that run; the next run sees it gone.
    TestCloud cloud;
    fillTree(*cloud.server);
    ASSERT_TRUE(cloud.sync().completed);
    const auto before = cloud.server->paths();
    cloud.server->resetCounts();
    vanishingFolder = cloud.diskPath("/A");
    vanishedTo = cloud.directory() + "/A elsewhere";
    Platform::killPointHandler.store(&moveAwayOnce);

    auto run = cloud.sync();

    Platform::killPointHandler.store(nullptr);
    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(vanishingFolder.empty()) << "the scan never listed a folder";
    EXPECT_EQ(cloud.server->paths(), before);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(errorsOf(run), (std::vector<std::string> { "Invalid change: Folder cannot be read, its items are kept: /A" }));

    // Gone for good, the folder and what it held go on the server too.
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->paths(), (std::vector<std::string> { "/B/", "/B/z.txt", "/top.txt" }));
    expectInStep(cloud);
    expectIdle(cloud);
}

namespace {

// Deletes `vanishingFile` once the walk has listed the files to read and
// before any of them is read.
std::string vanishingFile;

void deleteBeforeHashingOnce(const char* name)
{
    if (std::string_view(name) != "scan-files-listed" || vanishingFile.empty())
        return;
    std::filesystem::remove(std::exchange(vanishingFile, std::string()));
}

} // namespace

TEST(UnreadableFolders, AFileThatVanishesBetweenTheWalkAndItsHashIsNotListed)
{
    // A new file the walk listed and that was deleted before it could be
    // read has no content to upload: listed with an empty hash it would be
    // announced as a new file that cannot be opened. It is left out of the
    // scan; the server is not touched and no error is shown.
    TestCloud cloud;
    fillTree(*cloud.server);
    ASSERT_TRUE(cloud.sync().completed);
    const auto before = cloud.server->paths();
    cloud.server->resetCounts();
    Platform::Testing::writeFile(cloud.diskPath("/B/neu.txt"), "neu");
    vanishingFile = cloud.diskPath("/B/neu.txt");
    Platform::killPointHandler.store(&deleteBeforeHashingOnce);

    auto run = cloud.sync();

    Platform::killPointHandler.store(nullptr);
    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(vanishingFile.empty()) << "the scan never reached its hashing";
    EXPECT_EQ(errorsOf(run), std::vector<std::string> {});
    EXPECT_EQ(cloud.server->paths(), before);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    expectInStep(cloud);
    expectIdle(cloud);
}

namespace {

// The server in `directory`'s server.json, changed by `change` as another client would, and stored again.
void changeServer(const std::string& directory, const std::function<void(InMemorySyncServer&)>& change)
{
    auto server = InMemorySyncServer::load(directory + "/server.json");
    ASSERT_TRUE(server);
    change(*server);
    server->persistTo(directory + "/server.json");
}

std::string contentOf(const std::string& path)
{
    ::chmod(path.c_str(), 0644);
    return Platform::Testing::readFile(path);
}

} // namespace

TEST(UnreadableFolders, OnlyWhatLiesBelowAnUnreadableItemIsUnknown)
{
    // In a folder that can be read, an unreadable folder beside a file
    // deleted here and an unreadable file: the delete goes to the server,
    // what the unreadable folder holds stays there, and the unreadable file
    // is neither deleted there nor counted as changed.
    const auto directory = syncedCloud([](InMemorySyncServer& server) {
        fillTree(server);
        server.addFile("/A/w.txt", "w");
    });
    ASSERT_EQ(::chmod((directory + "/Cloud/A/Sub").c_str(), 0), 0);
    ASSERT_EQ(::chmod((directory + "/Cloud/A/w.txt").c_str(), 0), 0);
    ASSERT_EQ(::unlink((directory + "/Cloud/A/x.txt").c_str()), 0);

    auto run = runAsNobody(directory);

    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(serverPathsAfter(directory),
        (std::vector<std::string> { "/A/", "/A/Sub/", "/A/Sub/y.txt", "/A/w.txt", "/B/", "/B/z.txt", "/top.txt" }))
        << run.output;
    ::chmod((directory + "/Cloud/A/Sub").c_str(), 0755);
    auto server = InMemorySyncServer::load(directory + "/server.json");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->contentAt("/A/w.txt"), "w");
    EXPECT_EQ(contentOf(directory + "/Cloud/A/w.txt"), "w");
}

TEST(UnreadableFolders, AServerChangeNeverReplacesOrDeletesAFileThatCannotBeRead)
{
    // A file the engine cannot read may hold the user's edit: a newer
    // version from the server does not replace it and a delete on the
    // server does not remove it.
    const auto directory = syncedCloud(fillTree);
    changeServer(directory, [](InMemorySyncServer& server) {
        server.setContent("/top.txt", "newer on the server");
        server.removeItem("/B/z.txt");
    });
    Platform::Testing::writeFile(directory + "/Cloud/top.txt", "edited here");
    Platform::Testing::writeFile(directory + "/Cloud/B/z.txt", "edited here too");
    ASSERT_EQ(::chmod((directory + "/Cloud/top.txt").c_str(), 0), 0);
    ASSERT_EQ(::chmod((directory + "/Cloud/B/z.txt").c_str(), 0), 0);

    auto run = runAsNobody(directory);

    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(contentOf(directory + "/Cloud/top.txt"), "edited here") << run.output;
    EXPECT_EQ(contentOf(directory + "/Cloud/B/z.txt"), "edited here too") << run.output;
}

namespace {

// Moves the whole cloud folder away once the scan has walked it and before
// any file is read.
std::string vanishingCloudFolder;
std::string cloudFolderMovedTo;

void moveCloudFolderAwayOnce(const char* name)
{
    if (std::string_view(name) != "scan-files-listed" || vanishingCloudFolder.empty())
        return;
    std::filesystem::rename(std::exchange(vanishingCloudFolder, std::string()), cloudFolderMovedTo);
}

} // namespace

TEST(UnreadableFolders, ACloudFolderThatVanishesUnderTheScanDeletesNothing)
{
    // The cloud folder moved away after the walk listed it: the files still
    // to be read cannot be, and read as gone they would be deleted on the
    // server. The whole scan is unknown: the run fails as for an unreadable
    // cloud folder, touching nothing; back in place, all is in step.
    TestCloud cloud;
    fillTree(*cloud.server);
    ASSERT_TRUE(cloud.sync().completed);
    const auto before = cloud.server->paths();
    cloud.writeFile("/A/x.txt", "changed, so read again");
    cloud.writeFile("/top.txt", "changed, so read again");
    cloud.server->resetCounts();
    vanishingCloudFolder = cloud.cloudFolder();
    cloudFolderMovedTo = cloud.directory() + "/Cloud elsewhere";
    Platform::killPointHandler.store(&moveCloudFolderAwayOnce);

    auto run = cloud.sync();

    Platform::killPointHandler.store(nullptr);
    ASSERT_TRUE(run.completed);
    EXPECT_TRUE(vanishingCloudFolder.empty()) << "the scan never listed its files";
    EXPECT_EQ(cloud.server->paths(), before);
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    const auto errors = errorsOf(run);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("kann nicht gelesen werden"), std::string::npos) << errors[0];

    std::filesystem::rename(cloudFolderMovedTo, cloud.cloudFolder());
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt("/top.txt"), "changed, so read again");
    expectInStep(cloud);
}
