#include "Glimmerd/Tests/GlimmerdFixture.hpp"
#include "Platform/Desktop/ExtensionRegistry.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace GlimmerdTesting;
using namespace std::chrono_literals;
using Platform::URL;
using Sync::FileSyncStatus;

namespace {

class GlimmerdEndToEndTests : public GlimmerdFixture { };

} // namespace

// With the application answering, glimmerd observes the cloud folder and
// badges files, folders and the folder itself from the database.
TEST_F(GlimmerdEndToEndTests, ObservedFolderAndBadges)
{
    start();
    auto badges = ctl({ "badge", cloud + "/a.txt", cloud + "/err.txt", cloud + "/new.txt", cloud + "/Docs", cloud });
    EXPECT_EQ(badges.exitStatus, 0);
    EXPECT_EQ(badges.output, "Idle\t" + cloud + "/a.txt\nError\t" + cloud + "/err.txt\nSyncing\t" + cloud
            + "/new.txt\nSyncing\t" + cloud + "/Docs\nSyncing\t" + cloud + "\n");
    auto log = glimmerd->log();
    EXPECT_NE(log.find("Orvella Finder Sync launched from "), std::string::npos);
    EXPECT_NE(log.find("success, trying to start up now"), std::string::npos);
    EXPECT_NE(log.find("started watching folder: " + cloud), std::string::npos);
}

// A status committed by another process reaches `glimmerctl watch` for an
// item the file manager asked about, and the folder's badge follows.
TEST_F(GlimmerdEndToEndTests, CommittedStatusReachesWatch)
{
    start();
    LineReader watch(GLIMMERCTL_PROGRAM, { "--socket", glimmerd->socketPath(), "watch" }, glimmerdEnvironment(group, runtime));
    EXPECT_EQ(ctl({ "badge", cloud + "/a.txt" }).output, "Idle\t" + cloud + "/a.txt\n");
    // The watch may subscribe after the first commit; commits alternate until one shows.
    int commits = 0;
    EXPECT_TRUE(waitFor([&] {
        application->statusStore->setStatus(item("a.txt"), ++commits % 2 ? FileSyncStatus::error : FileSyncStatus::upToDate);
        return watch.waitForLine((commits % 2 ? "Error\t" : "Idle\t") + cloud + "/a.txt", 1s);
    }, 20s)) << glimmerd->log();
    EXPECT_EQ(ctl({ "badge", cloud + "/a.txt" }).output, (commits % 2 ? "Error\t" : "Idle\t") + cloud + "/a.txt\n");
}

// Choosing the entries sends the share requests with the remote identifier
// over the real channel; the folder offers both entries.
TEST_F(GlimmerdEndToEndTests, InvokeSendsShareRequests)
{
    start();
    auto menu = ctl({ "menu", cloud + "/Docs" });
    EXPECT_EQ(menu.exitStatus, 0);
    EXPECT_EQ(menu.output, "title\tbrisanto cloud\n0\tenabled\tLink teilen \u2026\n1\tenabled\tOrdner freigeben \u2026\n");
    EXPECT_EQ(ctl({ "invoke", "0", cloud + "/a.txt" }).exitStatus, 0);
    EXPECT_EQ(ctl({ "invoke", "1", cloud + "/Docs" }).exitStatus, 0);
    EXPECT_EQ(ctl({ "invoke", "0", cloud + "/new.txt" }).exitStatus, 4);
    EXPECT_EQ(ctl({ "invoke", "0", cloud + "/a.txt", cloud + "/err.txt" }).exitStatus, 3);
    ASSERT_TRUE(waitFor([&] { return application->shareRequests().size() >= 2; }, 20s));
    EXPECT_EQ(application->shareRequests(), (std::vector<std::pair<std::string, std::int64_t>> {
                                                { "CloudCreatePublicShare", 42 }, { "CloudCreatePrivateShare", 43 } }));
}

// After the application's termination `observed` empties; SIGTERM ends
// glimmerd with status 0; a second glimmerd of the user does not start.
TEST_F(GlimmerdEndToEndTests, TerminationAndOneInstance)
{
    start();
    GlimmerdProcess second(group, runtime);
    EXPECT_EQ(second.waitForExit(30s), 1);
    EXPECT_EQ(ctl({ "observed" }).output, cloud + "\n");

    LineReader watch(GLIMMERCTL_PROGRAM, { "--socket", glimmerd->socketPath(), "watch" }, glimmerdEnvironment(group, runtime));
    // The watch is subscribed once it answers a badge change of its own making.
    int commits = 0;
    ASSERT_TRUE(waitFor([&] {
        (void)ctl({ "badge", cloud + "/a.txt" });
        application->statusStore->setStatus(item("a.txt"), ++commits % 2 ? FileSyncStatus::error : FileSyncStatus::upToDate);
        return watch.waitForLine(cloud + "/a.txt", 1s);
    }, 20s));
    application->terminate();
    EXPECT_TRUE(waitFor([&] { return ctl({ "observed" }).output.empty(); }, 20s)) << glimmerd->log();
    EXPECT_TRUE(watch.waitForLine("observed", 20s));
    EXPECT_NE(glimmerd->log().find("stopped watching folder: " + URL::fileURL(cloud, URL::IsDirectory::Yes).absoluteString()),
        std::string::npos);
    EXPECT_EQ(glimmerd->terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(runtime + "/orvella/glimmerd.sock"));
}

// Without database and settings glimmerd keeps running, writes neither, and
// picks both up once the application has written them.
TEST_F(GlimmerdEndToEndTests, MissingDatabaseAndSettings)
{
    application->launch();
    glimmerd = std::make_unique<GlimmerdProcess>(group, runtime);
    ASSERT_TRUE(glimmerd->waitUntilServing());
    EXPECT_EQ(ctl({ "observed" }).output, "");
    EXPECT_EQ(ctl({ "badge", cloud + "/a.txt" }).output, "Syncing\t" + cloud + "/a.txt\n");
    EXPECT_FALSE(std::filesystem::exists(group + "/Cloud.realm"));
    EXPECT_FALSE(std::filesystem::exists(group + "/defaults.json"));

    writeSettings();
    writeDatabase();
    application->postSettingsChanged();
    ASSERT_TRUE(waitFor([&] { return ctl({ "observed" }).output == cloud + "\n"; }, 20s)) << glimmerd->log();
    EXPECT_EQ(ctl({ "badge", cloud + "/a.txt" }).output, "Idle\t" + cloud + "/a.txt\n");
    // The status stream starts once the database is readable (it is retried every few seconds).
    LineReader watch(GLIMMERCTL_PROGRAM, { "--socket", glimmerd->socketPath(), "watch" }, glimmerdEnvironment(group, runtime));
    // Commits before the stream started are not delivered: alternate until one is.
    int commits = 0;
    EXPECT_TRUE(waitFor([&] {
        application->statusStore->setStatus(item("a.txt"), ++commits % 2 ? FileSyncStatus::error : FileSyncStatus::upToDate);
        return watch.waitForLine(cloud + "/a.txt", 1s);
    }, 30s)) << glimmerd->log();
}

// The application's extension registry starts glimmerd and stops it with
// SIGTERM, after which glimmerd has removed its socket; `--print-socket`
// names the socket the clients use.
TEST_F(GlimmerdEndToEndTests, StartedAndStoppedByTheRegistry)
{
    writeSettings();
    writeDatabase();
    application->launch();
    // A copy of its own, so that stopping it touches no other test's glimmerd.
    auto executable = std::filesystem::path(directory / "glimmerd");
    std::filesystem::copy_file(GLIMMERD_PROGRAM, executable);
    setenv("ORVELLA_GROUP_CONTAINER", group.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    auto socket = runtime + "/orvella/glimmerd.sock";
    EXPECT_EQ(runProgram(executable, { "--print-socket" }).output, socket + "\n");

    Platform::FileExtensionRegistry registry(group);
    ASSERT_TRUE(registry.add("de.orvella.desktop.Glimmerd", executable));
    ASSERT_TRUE(registry.use("de.orvella.desktop.Glimmerd"));
    EXPECT_TRUE(waitFor([&] { return runProgram(GLIMMERCTL_PROGRAM, { "--socket", socket, "observed" }).output == cloud + "\n"; }, 30s));
    EXPECT_EQ(Platform::ExtensionProcesses::running(executable).size(), 1u);
    ASSERT_TRUE(registry.ignore("de.orvella.desktop.Glimmerd"));
    EXPECT_TRUE(waitFor([&] { return Platform::ExtensionProcesses::running(executable).empty(); }, 30s));
    EXPECT_FALSE(std::filesystem::exists(socket));
}

namespace {

// A program run as the unprivileged user "nobody" with exactly `environment`;
// its standard error goes to `log`. Answers its pid.
pid_t spawnAsNobody(const std::vector<std::string>& command, const std::vector<std::string>& environment, const std::string& log)
{
    std::vector<std::string> arguments { "/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups" };
    arguments.insert(arguments.end(), command.begin(), command.end());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    int output = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    pid_t pid = fork();
    if (pid == 0) {
        if (output >= 0) {
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (output >= 0)
        close(output);
    return pid;
}

} // namespace

// Without XDG_RUNTIME_DIR another user who made this user's folder in /tmp
// first once made glimmerd exit: it listens below the user's home instead,
// where nobody else can have made anything, and its clients find it there.
TEST(GlimmerdSocketFolderTests, AFolderAnotherUserMadeInTmpFirstDoesNotStopTheExtension)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    Platform::Testing::TemporaryDirectory root;
    ASSERT_EQ(chmod(root.path().c_str(), 0755), 0);
    const std::string home = root / "home";
    const std::string group = root / "group";
    for (const auto& folder : { home, group }) {
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
    }
    // What the other user (root here) made first, open to everyone.
    const std::string planted = "/tmp/orvella-65534";
    // Another run of this test may be removing the one it made meanwhile.
    bool madeHere = false;
    struct stat status { };
    for (int attempt = 0; attempt < 100; ++attempt) {
        madeHere = mkdir(planted.c_str(), 0777) == 0;
        if (lstat(planted.c_str(), &status) == 0)
            break;
    }
    ASSERT_EQ(lstat(planted.c_str(), &status), 0);
    if (status.st_uid == 65534)
        GTEST_SKIP() << planted << " is nobody's own here";

    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        if (!text.starts_with("ORVELLA_GROUP_CONTAINER=") && !text.starts_with("XDG_RUNTIME_DIR=") && !text.starts_with("HOME=")
            && !text.starts_with("ASAN_OPTIONS="))
            environment.push_back(text);
    }
    environment.push_back("HOME=" + home);
    environment.push_back("ORVELLA_GROUP_CONTAINER=" + group);
    environment.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
    const std::string log = root / "glimmerd.log";
    pid_t glimmerd = spawnAsNobody({ GLIMMERD_PROGRAM }, environment, log);
    ASSERT_GT(glimmerd, 0);
    auto exited = [&] { return waitpid(glimmerd, nullptr, WNOHANG) == glimmerd; };
    auto answers = [&] {
        pid_t control = spawnAsNobody({ GLIMMERCTL_PROGRAM, "observed" }, environment, root / "glimmerctl.log");
        int controlStatus = 0;
        waitpid(control, &controlStatus, 0);
        return WIFEXITED(controlStatus) && WEXITSTATUS(controlStatus) == 0;
    };
    bool ended = false;
    EXPECT_TRUE(waitFor([&] { return (ended = ended || exited()) || answers(); }, 30s));
    EXPECT_FALSE(ended) << Platform::Testing::readFile(log);
    EXPECT_TRUE(std::filesystem::is_socket(home + "/.cache/orvella/glimmerd.sock")) << Platform::Testing::readFile(log);
    if (!ended) {
        kill(glimmerd, SIGTERM);
        waitpid(glimmerd, nullptr, 0);
    }
    if (madeHere)
        rmdir(planted.c_str());
}
