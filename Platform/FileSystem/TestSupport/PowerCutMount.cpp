#include "Platform/FileSystem/TestSupport/PowerCutMount.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace Platform::Testing {

namespace {

// What the program says when it cannot run here.
constexpr int skipStatus = 77;

pid_t spawn(std::vector<std::string> arguments, int outputTo = -1, std::vector<std::string> extraEnvironment = {})
{
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable)
        environment.push_back(*variable);
    for (auto& variable : extraEnvironment)
        environment.push_back(variable.data());
    environment.push_back(nullptr);
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (outputTo >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputTo, STDOUT_FILENO);
    pid_t child = -1;
    if (::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environment.data()) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

std::expected<PowerCutMount, PowerCutMount::Failure> PowerCutMount::mount(const std::filesystem::path& base, Model model)
{
    if (::geteuid() != 0)
        return std::unexpected(Failure { "the power-cut file system needs root", true });
    if (int fuse = ::open("/dev/fuse", O_RDWR | O_CLOEXEC); fuse < 0)
        return std::unexpected(Failure { std::string("/dev/fuse cannot be opened: ") + std::strerror(errno), true });
    else
        ::close(fuse);
    PowerCutMount mount(base, model);
    std::error_code error;
    for (const auto& folder : { base / "backing", base / "aside", mount.m_path })
        std::filesystem::create_directories(folder, error);
    if (error)
        return std::unexpected(Failure { "cannot make the folders below " + base.string() + ": " + error.message() });
    if (auto started = mount.start(); !started)
        return std::unexpected(started.error());
    return mount;
}

PowerCutMount::PowerCutMount(std::filesystem::path base, Model model)
    : m_base(std::move(base))
    , m_path(m_base / "mount")
    , m_model(model)
{
}

PowerCutMount::PowerCutMount(PowerCutMount&& other) noexcept
    : m_base(std::move(other.m_base))
    , m_path(std::move(other.m_path))
    , m_model(other.m_model)
    , m_process(std::exchange(other.m_process, -1))
    , m_output(std::exchange(other.m_output, -1))
    , m_pending(std::move(other.m_pending))
{
}

PowerCutMount::~PowerCutMount()
{
    if (m_process > 0)
        static_cast<void>(unmount());
}

std::expected<void, PowerCutMount::Failure> PowerCutMount::start()
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return std::unexpected(Failure { std::string("no pipe: ") + std::strerror(errno) });
    m_process = spawn({ "python3", POWERCUT_FS_SCRIPT, "--backing", (m_base / "backing").string(), "--aside",
                          (m_base / "aside").string(), "--model", m_model == Model::ext4 ? "ext4" : "strict",
                          m_path.string() },
        pipe[1],
        m_model == Model::strictAttributes ? std::vector<std::string> { "POWERCUT_ATTRIBUTES_AT_SYNC=1" }
                                           : std::vector<std::string> {});
    ::close(pipe[1]);
    m_output = pipe[0];
    m_pending.clear();
    if (m_process < 0) {
        ::close(m_output);
        m_output = -1;
        return std::unexpected(Failure { "python3 cannot be started", true });
    }
    auto mounted = awaitLine("mounted", std::chrono::seconds(60));
    if (mounted)
        return {};
    ::close(m_output);
    m_output = -1;
    ::kill(m_process, SIGKILL);
    int status = waitFor(m_process);
    m_process = -1;
    bool skipped = WIFEXITED(status) && WEXITSTATUS(status) == skipStatus;
    return std::unexpected(Failure { skipped ? m_pending : mounted.error(), skipped });
}

std::expected<void, std::string> PowerCutMount::awaitLine(const std::string& wanted, std::chrono::seconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string buffered;
    while (true) {
        for (auto newline = buffered.find('\n'); newline != std::string::npos; newline = buffered.find('\n')) {
            auto line = buffered.substr(0, newline);
            buffered.erase(0, newline + 1);
            if (line == wanted)
                return {};
            m_pending = line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::unexpected("the power-cut file system did not say \"" + wanted + "\" in time");
        pollfd waiting { m_output, POLLIN, 0 };
        int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        char chunk[512];
        auto count = ::read(m_output, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return std::unexpected("the power-cut file system ended before it said \"" + wanted + "\"");
        buffered.append(chunk, static_cast<std::size_t>(count));
    }
}

std::expected<void, std::string> PowerCutMount::unmount()
{
    // Forced first: that aborts the connection, so the program ends even while
    // this process keeps files open there (a pooled database connection, a
    // watch); those see only errors from then on, as on a dead machine.
    for (const char* how : { "-f", "-l" }) {
        if (pid_t umount = spawn({ "umount", how, m_path.string() }); umount > 0)
            waitFor(umount);
    }
    // The program ends once the kernel lets go of the mount; its output ends with it.
    auto ended = awaitLine("\x01never said", std::chrono::seconds(120));
    ::close(m_output);
    m_output = -1;
    if (ended || ended.error().find("did not say") != std::string::npos)
        ::kill(m_process, SIGKILL);
    int status = waitFor(m_process);
    m_process = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::unexpected("the power-cut file system ended with status " + std::to_string(status));
    return {};
}

std::filesystem::path PowerCutMount::durableFolder(const std::filesystem::path& relative) const
{
    auto folder = m_path / relative;
    std::filesystem::create_directories(folder);
    for (auto current = folder;; current = current.parent_path()) {
        if (int descriptor = ::open(current.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); descriptor >= 0) {
            ::fsync(descriptor);
            ::close(descriptor);
        }
        if (current == m_path || !current.has_relative_path())
            break;
    }
    return folder;
}

std::expected<void, std::string> PowerCutMount::cutAndRemount()
{
    if (m_process <= 0)
        return std::unexpected("not mounted");
    ::kill(m_process, SIGUSR1);
    if (auto cut = awaitLine("cut", std::chrono::seconds(60)); !cut)
        return cut;
    if (auto unmounted = unmount(); !unmounted)
        return unmounted;
    if (auto started = start(); !started)
        return std::unexpected(started.error().message);
    return {};
}

} // namespace Platform::Testing
