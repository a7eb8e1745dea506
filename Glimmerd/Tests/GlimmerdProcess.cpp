#include "Glimmerd/Tests/GlimmerdProcess.hpp"

#include "Glimmerd/Tests/HostTestSupport.hpp"
#include "Platform/Database/CloudDatabaseSchema.hpp"
#include "Platform/Database/Database.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace GlimmerdTesting {

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Starts `program` without a shell. The child is killed when the test process
// (the spawning thread) dies, so a crashed or timed-out test leaves no glimmerd
// behind holding the test runner's output.
pid_t spawn(const std::string& program, std::vector<std::string> arguments, std::vector<std::string> environment,
    int output, int error)
{
    arguments.insert(arguments.begin(), program);
    auto argv = pointers(arguments);
    auto envp = pointers(environment);
    auto parent = getpid();
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    if (output >= 0)
        dup2(output, STDOUT_FILENO);
    if (error >= 0)
        dup2(error, STDERR_FILENO);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
}

} // namespace

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> glimmerdEnvironment(const std::string& groupDirectory, const std::string& runtimeDirectory)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        if (!text.starts_with("ORVELLA_GROUP_CONTAINER=") && !text.starts_with("XDG_RUNTIME_DIR="))
            environment.push_back(text);
    }
    environment.push_back("ORVELLA_GROUP_CONTAINER=" + groupDirectory);
    environment.push_back("XDG_RUNTIME_DIR=" + runtimeDirectory);
    return environment;
}

TestApplication::TestApplication(const std::string& groupDirectory)
    : m_group(groupDirectory)
{
    auto database = Platform::Database::factory(Platform::cloudDatabaseConfiguration(groupDirectory + "/Cloud.realm"));
    auto scheduler = Reactive::QueueScheduler::make("Test Application Store");
    fileStore = std::make_shared<Sync::RealmFileStore>(database, scheduler);
    statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(database, scheduler);
    notificationCenter = *Platform::DistributedNotificationCenter::open(groupDirectory + "/notifications");
}

TestApplication::~TestApplication()
{
    m_registrations.clear();
    m_navigator.reset();
    m_wormhole.reset();
}

void TestApplication::launch()
{
    m_wormhole = *Platform::Wormhole::create({ .applicationGroupDirectory = m_group, .directoryName = "wormhole",
        .notificationCenter = notificationCenter, .timeoutScheduler = nullptr, .loggingEnabled = false });
    m_navigator = std::make_unique<Orvella::WormholeNavigator>(m_wormhole);
    m_navigator->replyToPings();
    m_registrations.push_back(m_navigator->onCreatePublicShare([this](const Sync::SyncFileID& id) {
        std::lock_guard lock(m_mutex);
        m_shares.emplace_back("CloudCreatePublicShare", id.remoteID().value_or(-1));
    }));
    m_registrations.push_back(m_navigator->onCreatePrivateShare([this](const Sync::SyncFileID& id) {
        std::lock_guard lock(m_mutex);
        m_shares.emplace_back("CloudCreatePrivateShare", id.remoteID().value_or(-1));
    }));
}

void TestApplication::terminate()
{
    m_registrations.clear();
    m_navigator.reset();
    m_wormhole.reset();
    notificationCenter->post("CloudAppWillTerminateNotification");
}

void TestApplication::postSettingsChanged()
{
    notificationCenter->post("CloudUserDefaultsDidChange");
}

std::vector<std::pair<std::string, std::int64_t>> TestApplication::shareRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_shares;
}

GlimmerdProcess::GlimmerdProcess(const std::string& groupDirectory, const std::string& runtimeDirectory)
    : m_group(groupDirectory)
    , m_runtime(runtimeDirectory)
    , m_logFile(runtimeDirectory + "/glimmerd.log")
{
    int log = open(m_logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    m_pid = spawn(GLIMMERD_PROGRAM, {}, glimmerdEnvironment(m_group, m_runtime), -1, log);
    close(log);
}

GlimmerdProcess::~GlimmerdProcess()
{
    if (m_pid > 0)
        terminate();
}

bool GlimmerdProcess::waitUntilServing(std::chrono::milliseconds timeout) const
{
    return waitFor([&] { return glimmerctl(*this, { "observed" }).exitStatus == 0; }, timeout);
}

int GlimmerdProcess::terminate()
{
    if (m_pid <= 0)
        return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int GlimmerdProcess::waitForExit(std::chrono::milliseconds timeout)
{
    int status = 0;
    bool ended = waitFor([&] { return waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
    if (!ended) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string GlimmerdProcess::log() const
{
    std::ifstream file(m_logFile);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ProgramResult glimmerctl(const GlimmerdProcess& process, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), { "--socket", process.socketPath() });
    return runProgram(GLIMMERCTL_PROGRAM, arguments);
}

LineReader::LineReader(const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return;
    m_pid = spawn(program, arguments, environment, ends[1], -1);
    close(ends[1]);
    m_output = ends[0];
}

LineReader::~LineReader()
{
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_output >= 0)
        close(m_output);
}

bool LineReader::waitForLine(const std::string& text, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        std::size_t start = 0;
        for (auto newline = m_buffer.find('\n'); newline != std::string::npos; newline = m_buffer.find('\n', start)) {
            auto line = m_buffer.substr(start, newline - start);
            start = newline + 1;
            if (line.find(text) != std::string::npos) {
                m_buffer.erase(0, start);
                return true;
            }
        }
        m_buffer.erase(0, start);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_output < 0)
            return false;
        pollfd descriptor { m_output, POLLIN, 0 };
        if (poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char chunk[4096];
        auto count = read(m_output, chunk, sizeof(chunk));
        if (count <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(count));
    }
}

} // namespace GlimmerdTesting
