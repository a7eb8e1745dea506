#include "LocalCloud/Http/LoopbackPorts.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"
#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"
#include "LocalCloud/Tests/FileServiceTestSupport.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <vector>
#include <fcntl.h>
#include <pthread.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <arpa/inet.h>
#include <thread>

extern char** environ;

using namespace LocalCloud;
using namespace LocalCloud::Testing;
using namespace std::chrono_literals;

namespace {

struct Finished {
    int exitStatus = -1;
    std::string errorOutput;
};

// Runs the program with `arguments`, `input` on its standard input, to its end.
Finished runProgram(std::vector<std::string> arguments, const std::string& input)
{
    int inputPipe[2];
    int errorPipe[2];
    if (::pipe(inputPipe) != 0 || ::pipe(errorPipe) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, inputPipe[1]);
    posix_spawn_file_actions_addclose(&actions, errorPipe[0]);
    std::vector<char*> argv { const_cast<char*>(LOCALCLOUD_PROGRAM) };
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int spawned = posix_spawn(&child, LOCALCLOUD_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(inputPipe[0]);
    ::close(errorPipe[1]);
    if (spawned != 0)
        return {};
    // A program that refuses its arguments may end before it reads its input: the write then fails with
    // EPIPE, and the SIGPIPE it raises is held back and taken here instead of ending the test.
    sigset_t brokenPipe;
    sigset_t previousMask;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, &previousMask);
    if (::write(inputPipe[1], input.data(), input.size()) < 0 && errno == EPIPE) {
        const timespec immediately {};
        while (sigtimedwait(&brokenPipe, nullptr, &immediately) < 0 && errno == EINTR) { }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::close(inputPipe[1]);
    Finished finished;
    char buffer[4096];
    for (ssize_t count; (count = ::read(errorPipe[0], buffer, sizeof buffer)) > 0;)
        finished.errorOutput.append(buffer, static_cast<std::size_t>(count));
    ::close(errorPipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    finished.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return finished;
}

class RunningProgram {
public:
    RunningProgram(int port, const std::filesystem::path& folder, std::vector<std::string> options = {})
        : m_process(LOCALCLOUD_PROGRAM, folder, std::move(options), port)
    {
    }

    // Waits until the service answers.
    bool answers() const
    {
        httplib::Client client("127.0.0.1", m_process.port());
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (auto result = client.Get("/v2.0/status"); result && result->status == 200)
                return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    int stop(int signal) { return m_process.stop(signal); }

private:
    LocalCloud::Testing::LocalCloudProcess m_process;
};

class LocalCloudProgramTests : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_folder = std::filesystem::temp_directory_path()
            / ("localcloud-program-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    std::filesystem::path m_folder;
};

// Sends the head of a transfer and part of its body on a connection of its own, and leaves it open.
int startCutTransfer(int port, const std::string& cookie, std::int64_t identifier, std::size_t announcedBytes,
    const std::string& part)
{
    int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    std::string head = "PUT /v2.0/files/" + std::to_string(identifier) + "/stream HTTP/1.1\r\nHost: 127.0.0.1:"
        + std::to_string(port) + "\r\n"
        + "Cookie: " + cookie + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(announcedBytes)
        + "\r\n\r\n" + part;
    (void)!::write(descriptor, head.data(), head.size());
    return descriptor;
}

bool temporaryFileAppears(const std::filesystem::path& contentFolder)
{
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& entry : std::filesystem::directory_iterator(contentFolder)) {
            if (entry.path().filename().string().starts_with(".incoming-") && entry.file_size() > 0)
                return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

} // namespace

TEST_F(LocalCloudProgramTests, ServesAFolderUntilTerminated)
{
    // Proves the program serves the given folder on the given loopback port and ends cleanly on SIGTERM.
    std::filesystem::create_directories(m_folder / "raw");
    std::ofstream(m_folder / "raw" / "3", std::ios::binary) << "three";
    int port = unusedLoopbackPort();
    RunningProgram program(port, m_folder, { "--test-controls" });
    ASSERT_TRUE(program.answers());
    httplib::Client client("127.0.0.1", port);
    auto result = client.Get("/v2.0/debug/raw/3");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, "three");
    int status = program.stop(SIGTERM);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(LocalCloudProgramTests, BadArgumentsGetOneLineAndStatusTwo)
{
    // Proves every malformed command line is refused with exit status 2 and a single line on standard error.
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>> { {}, { "add-user" },
             { "add-user", m_folder.string() }, { "add-user", m_folder.string(), "anna", "--quota" },
             { "add-user", m_folder.string(), "anna", "--quota", "viel" },
             { "add-user", m_folder.string(), "anna", "--size", "5" }, { "80x", m_folder.string() },
             { "1", "2", "3" }, { "1", m_folder.string(), "--rate" }, { "1", m_folder.string(), "--speed", "5" },
             { "1", m_folder.string(), "--cut-after", "-1" } }) {
        auto finished = runProgram(arguments, "geheim\n");
        EXPECT_EQ(finished.exitStatus, 2) << ::testing::PrintToString(arguments);
        EXPECT_EQ(std::count(finished.errorOutput.begin(), finished.errorOutput.end(), '\n'), 1)
            << finished.errorOutput;
    }
    EXPECT_FALSE(std::filesystem::exists(serviceDatabaseFile(m_folder)));
}

TEST_F(LocalCloudProgramTests, UserAddedOnTheCommandLineLogsInWhileTheServiceRuns)
{
    // Proves add-user stores a salted hash (never the password) that the running service accepts, and a replaced password takes over.
    int port = unusedLoopbackPort();
    RunningProgram program(port, m_folder);
    ASSERT_TRUE(program.answers());
    auto added = runProgram({ "add-user", m_folder.string(), "carla@example.org", "--quota", "5000" }, "Kennwort 1\n");
    ASSERT_EQ(added.exitStatus, 0) << added.errorOutput;

    ServiceClient client(port);
    EXPECT_FALSE(client.logIn("carla@example.org", "Kennwort"));
    ASSERT_TRUE(client.logIn("carla@example.org", "Kennwort 1"));
    EXPECT_EQ(client.get("files").json()["meta"]["quota"].value("total", 0), 5000);

    auto replaced = runProgram({ "add-user", m_folder.string(), "carla@example.org" }, "neu\n");
    ASSERT_EQ(replaced.exitStatus, 0) << replaced.errorOutput;
    ServiceClient again(port);
    EXPECT_FALSE(again.logIn("carla@example.org", "Kennwort 1"));
    EXPECT_TRUE(again.logIn("carla@example.org", "neu"));
    EXPECT_EQ(again.get("files").json()["meta"]["quota"].value("total", 0), 5000);

    std::ifstream file(serviceDatabaseFile(m_folder), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), {});
    EXPECT_EQ(bytes.find("Kennwort"), std::string::npos);
    EXPECT_EQ(runProgram({ "add-user", m_folder.string(), "leer" }, "").exitStatus, 1);
}

TEST_F(LocalCloudProgramTests, KilledDuringTransfersKeepsTheOldContentAndAnOpenableDatabase)
{
    // Proves kill -9 in the middle of an overwrite and of a first upload leaves the old content, no half file and a database that opens.
    ASSERT_EQ(runProgram({ "add-user", m_folder.string(), "anna" }, "geheim\n").exitStatus, 0);
    int port = unusedLoopbackPort();
    auto program = std::make_unique<RunningProgram>(port, m_folder);
    ASSERT_TRUE(program->answers());
    ServiceClient client(port);
    ASSERT_TRUE(client.logIn("anna", "geheim"));
    // A folder made without a parent lands in the root, which names it as parent.
    auto folder = client.post("files/folders", { { "folder_name", "Ordner" } }).data();
    auto parent = folder.value("parent_file_id", std::int64_t { 0 });
    ASSERT_GT(parent, 0);
    auto file = client.upload(parent, "alt.txt", "alter Inhalt");
    auto identifier = file.value("id", std::int64_t { 0 });
    ASSERT_GT(identifier, 0);
    auto first = client.announce(parent, "neu.bin", std::string(4 << 20, 'n')).json()["data"].value("id", 0);
    ASSERT_GT(first, 0);

    // A cookie header for the raw connections.
    httplib::Client login("127.0.0.1", port);
    auto answer = login.Post("/v2.0/login", R"({"world":"2","login":"anna","password":"geheim"})", "application/json");
    ASSERT_TRUE(answer);
    auto cookie = answer->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    int overwrite = startCutTransfer(port, cookie, identifier, 8 << 20, std::string(1 << 20, 'x'));
    int upload = startCutTransfer(port, cookie, first, 4 << 20, std::string(1 << 20, 'n'));
    ASSERT_GE(overwrite, 0);
    ASSERT_GE(upload, 0);
    ASSERT_TRUE(temporaryFileAppears(m_folder / "content"));
    int status = program->stop(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status));
    ::close(overwrite);
    ::close(upload);

    {
        auto database = Platform::Database::open(serviceDatabaseConfiguration(m_folder));
        ASSERT_TRUE(database.has_value()) << database.error().message();
        // Root, folder, file and the announcement.
        EXPECT_EQ(database->count<ItemRecord>(Platform::DatabaseQuery::all()).value_or(0), 4);
        EXPECT_TRUE(database->execute("PRAGMA integrity_check").has_value());
    }

    program = std::make_unique<RunningProgram>(port, m_folder);
    ASSERT_TRUE(program->answers());
    ServiceClient after(port);
    ASSERT_TRUE(after.logIn("anna", "geheim"));
    EXPECT_EQ(after.get("files/" + std::to_string(identifier) + "/download").body, "alter Inhalt");
    EXPECT_EQ(after.get("files/" + std::to_string(first)).status, 404);
    EXPECT_EQ(after.everything().size(), 2u);
    for (const auto& entry : std::filesystem::directory_iterator(m_folder / "content"))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".incoming-")) << entry.path();
}

TEST_F(LocalCloudProgramTests, TheRequestLogFileNamesEveryRequestAsItArrivesAndSurvivesAKill)
{
    // Proves a watcher in another process reads every request from the log file, even after SIGKILL ended the service.
    int port = unusedLoopbackPort();
    auto log = m_folder / "requests.log";
    RunningProgram program(port, m_folder / "data", { "--request-log", log.string(), "--rate", "1000000", "--test-controls" });
    ASSERT_TRUE(program.answers());
    httplib::Client client("127.0.0.1", port);
    ASSERT_TRUE(client.Put("/v2.0/debug/raw/1", "abc", "text/plain"));
    ASSERT_TRUE(client.Get("/v2.0/debug/raw/1"));
    program.stop(SIGKILL);
    std::ifstream stream(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    ASSERT_GE(lines.size(), 3U);
    EXPECT_EQ(lines[lines.size() - 2], "PUT /v2.0/debug/raw/1");
    EXPECT_EQ(lines.back(), "GET /v2.0/debug/raw/1");
    for (const auto& line : lines)
        EXPECT_TRUE(line == "GET /v2.0/status" || line.ends_with("/debug/raw/1")) << line;
}

namespace {

// Whether the unprivileged user nobody can read `path` (root would read anything).
bool nobodyReads(const std::filesystem::path& path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments { "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "cat",
        path.string() };
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int spawned = posix_spawnp(&child, "setpriv", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return true;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::filesystem::perms modeOf(const std::filesystem::path& path)
{
    return std::filesystem::symlink_status(path).permissions() & std::filesystem::perms::mask;
}

} // namespace

TEST_F(LocalCloudProgramTests, AnotherUserReadsNothingOfTheDataFolderEvenOneMadeOpenBefore)
{
    // Proves the data folder of a running service is 0700 with every file 0600, also after it was found open at start,
    // and that the user nobody reads neither its database nor a content file.
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    std::filesystem::permissions(m_folder, std::filesystem::perms::owner_all | std::filesystem::perms::group_read
            | std::filesystem::perms::group_exec | std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    auto data = m_folder / "data";
    ASSERT_EQ(runProgram({ "add-user", data.string(), "anna" }, "geheim\n").exitStatus, 0);
    int port = unusedLoopbackPort();
    {
        RunningProgram program(port, data);
        ASSERT_TRUE(program.answers());
        ServiceClient client(port);
        ASSERT_TRUE(client.logIn("anna", "geheim"));
        auto root = client.post("files/folders", { { "folder_name", "Ordner" } }).data().value("parent_file_id", 0);
        ASSERT_GT(client.upload(root, "alt.txt", "alter Inhalt").value("id", 0), 0);
        program.stop(SIGTERM);
    }
    // A folder left open, as an older service or a careless copy leaves it.
    auto open = std::filesystem::perms::owner_all | std::filesystem::perms::group_read | std::filesystem::perms::group_exec
        | std::filesystem::perms::others_read | std::filesystem::perms::others_exec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data))
        std::filesystem::permissions(entry.path(), entry.is_directory() ? open : open & ~(std::filesystem::perms::owner_exec
            | std::filesystem::perms::group_exec | std::filesystem::perms::others_exec));
    std::filesystem::permissions(data, open);
    ASSERT_TRUE(nobodyReads(serviceDatabaseFile(data)));

    RunningProgram program(port, data);
    ASSERT_TRUE(program.answers());
    ServiceClient client(port);
    ASSERT_TRUE(client.logIn("anna", "geheim"));
    auto root = client.everything()[0].value("parent_file_id", 0);
    ASSERT_GT(client.upload(root, "neu.txt", "neuer Inhalt").value("id", 0), 0);

    EXPECT_EQ(modeOf(data), std::filesystem::perms::owner_all);
    std::vector<std::filesystem::path> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(data)) {
        if (entry.is_directory()) {
            EXPECT_EQ(modeOf(entry.path()), std::filesystem::perms::owner_all) << entry.path();
            continue;
        }
        EXPECT_EQ(modeOf(entry.path()), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
            << entry.path();
        if (entry.path().parent_path().filename() == "content")
            contents.push_back(entry.path());
    }
    EXPECT_TRUE(std::filesystem::exists(data / "localcloud.sqlite-wal"));
    EXPECT_EQ(contents.size(), 2u);
    EXPECT_FALSE(nobodyReads(serviceDatabaseFile(data)));
    for (const auto& content : contents) {
        std::filesystem::permissions(content.parent_path(), open);
        std::filesystem::permissions(data, open);
        // Even with the folders opened by hand, the file itself stays closed.
        EXPECT_FALSE(nobodyReads(content)) << content;
    }
}

TEST_F(LocalCloudProgramTests, NewHashesTakeSixHundredThousandIterationsAndOlderOnesStillLogIn)
{
    // Proves add-user stores 600,000 iterations with the hash, and an account stored with fewer still logs in.
    ASSERT_EQ(runProgram({ "add-user", m_folder.string(), "anna" }, "geheim\n").exitStatus, 0);
    {
        auto database = Platform::Database::open(serviceDatabaseConfiguration(m_folder));
        ASSERT_TRUE(database.has_value());
        auto anna = database->object<AccountRecord>(std::string("anna"));
        ASSERT_TRUE(anna && *anna);
        EXPECT_EQ((*anna)->iterations, 600'000);
        ASSERT_TRUE(storeAccount(*database, "alt", "altes Kennwort", std::nullopt, 200'000).has_value());
    }
    int port = unusedLoopbackPort();
    RunningProgram program(port, m_folder);
    ASSERT_TRUE(program.answers());
    ServiceClient client(port);
    EXPECT_TRUE(client.logIn("alt", "altes Kennwort"));
    EXPECT_TRUE(client.logIn("anna", "geheim"));
}

TEST_F(LocalCloudProgramTests, SessionLimitsAndTestControlsComeFromTheCommandLine)
{
    // Proves --expire-after ends a session after that many requests, --session-lifetime ends it after that long
    // without use, logout ends it, and the debug routes answer only with --test-controls.
    std::filesystem::create_directories(m_folder / "raw");
    std::ofstream(m_folder / "raw" / "3", std::ios::binary) << "three";
    ASSERT_EQ(runProgram({ "add-user", m_folder.string(), "anna" }, "geheim\n").exitStatus, 0);
    int port = unusedLoopbackPort();
    {
        RunningProgram program(port, m_folder, { "--expire-after", "2" });
        ASSERT_TRUE(program.answers());
        ServiceClient client(port);
        ASSERT_TRUE(client.logIn("anna", "geheim"));
        EXPECT_EQ(client.get("customer").status, 200);
        EXPECT_EQ(client.get("files").status, 200);
        EXPECT_EQ(client.get("customer").errorCode(), "3001");
        ASSERT_TRUE(client.logIn("anna", "geheim"));
        EXPECT_EQ(client.post("logout", nlohmann::json::object()).status, 200);
        EXPECT_EQ(client.get("customer").errorCode(), "3001");
        EXPECT_EQ(client.get("debug/raw/3").errorCode(), "4999");
    }
    {
        RunningProgram program(port, m_folder, { "--session-lifetime", "0", "--test-controls" });
        ASSERT_TRUE(program.answers());
        ServiceClient client(port);
        ASSERT_TRUE(client.logIn("anna", "geheim"));
        EXPECT_EQ(client.get("customer").errorCode(), "3001");
        EXPECT_EQ(client.get("debug/raw/3").body, "three");
    }
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>> {
             { "1", m_folder.string(), "--session-lifetime", "lang" }, { "1", m_folder.string(), "--expire-after" },
             { "1", m_folder.string(), "--test-controls", "--expire-after", "-2" } }) {
        auto finished = runProgram(arguments, "");
        EXPECT_EQ(finished.exitStatus, 2) << ::testing::PrintToString(arguments);
    }
}

TEST_F(LocalCloudProgramTests, TwentySlowClientsDoNotBlockOthers)
{
    // Proves twenty clients that trickle their requests a byte at a time leave the service answering everyone else.
    int port = unusedLoopbackPort();
    RunningProgram program(port, m_folder);
    ASSERT_TRUE(program.answers());
    std::vector<int> slow;
    for (int client = 0; client < 20; ++client) {
        int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        std::string head = "GET /v2.0/status HTTP/1.1\r\nX-Slow: ";
        ASSERT_EQ(::write(descriptor, head.data(), head.size()), static_cast<ssize_t>(head.size()));
        slow.push_back(descriptor);
    }
    std::atomic<bool> done = false;
    // A byte every fraction of a second, well within any read time-out.
    std::thread trickle([&] {
        while (!done.load()) {
            for (int descriptor : slow)
                (void)!::send(descriptor, "x", 1, MSG_NOSIGNAL);
            std::this_thread::sleep_for(200ms);
        }
    });
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(10, 0);
    client.set_read_timeout(10, 0);
    auto started = std::chrono::steady_clock::now();
    auto answer = client.Get("/v2.0/status");
    auto waited = std::chrono::steady_clock::now() - started;
    done = true;
    trickle.join();
    for (int descriptor : slow)
        ::close(descriptor);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(waited, 10s);
}
