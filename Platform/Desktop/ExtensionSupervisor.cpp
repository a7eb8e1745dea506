#include "Platform/Desktop/ExtensionSupervisor.hpp"

#include "Platform/Desktop/ExtensionRegistry.hpp"
#include "Platform/Foundation/Log.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {

using Clock = std::chrono::steady_clock;

std::string seconds(std::chrono::milliseconds delay)
{
    auto tenths = (delay.count() + 50) / 100;
    return std::to_string(tenths / 10) + (tenths % 10 ? "," + std::to_string(tenths % 10) : "") + " s";
}

// Why a child of ours ended, as the log says it.
std::string endingOf(const siginfo_t& information)
{
    if (information.si_code == CLD_EXITED)
        return "endete mit Status " + std::to_string(information.si_status);
    const char* name = ::sigabbrev_np(information.si_status);
    return "wurde durch das Signal " + std::to_string(information.si_status) + (name ? std::string(" (SIG") + name + ")" : std::string())
        + " beendet";
}

} // namespace

std::shared_ptr<ExtensionSupervisor> ExtensionSupervisor::forGroupDirectory(const std::filesystem::path& groupDirectory)
{
    static std::mutex mutex;
    static std::map<std::filesystem::path, std::weak_ptr<ExtensionSupervisor>> supervisors;
    std::error_code ignored;
    auto key = std::filesystem::weakly_canonical(groupDirectory, ignored);
    if (key.empty())
        key = groupDirectory;
    std::lock_guard lock(mutex);
    std::erase_if(supervisors, [](const auto& entry) { return entry.second.expired(); });
    auto& slot = supervisors[key];
    auto supervisor = slot.lock();
    if (!supervisor) {
        supervisor = std::make_shared<ExtensionSupervisor>(key, Policy {});
        slot = supervisor;
    }
    return supervisor;
}

ExtensionSupervisor::ExtensionSupervisor(std::filesystem::path groupDirectory, Policy policy)
    : m_groupDirectory(std::move(groupDirectory))
    , m_policy(policy)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = pipe[0];
        m_wakeWrite = pipe[1];
    }
}

ExtensionSupervisor::~ExtensionSupervisor()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    if (m_own && m_pid > 0) {
        // It outlives us; it is still our child, so someone must reap it.
        std::thread([pid = m_pid] {
            while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
        }).detach();
    }
    for (int descriptor : { m_processDescriptor, m_errorOutput, m_wakeRead, m_wakeWrite })
        if (descriptor >= 0)
            ::close(descriptor);
}

std::filesystem::path ExtensionSupervisor::lockFile() const { return m_groupDirectory / ExtensionProcesses::instanceLockFileName; }

bool ExtensionSupervisor::want(const std::filesystem::path& executable, std::vector<std::string> arguments, std::function<bool()> stillWanted)
{
    std::unique_lock lock(m_mutex);
    m_wanted = true;
    m_executable = executable;
    m_arguments = std::move(arguments);
    m_stillWanted = std::move(stillWanted);
    m_restarts = 0;
    m_restartAt.reset();
    bool running = m_pid > 0 || startLocked();
    if (!m_thread.joinable() && m_wakeRead >= 0)
        m_thread = std::thread([this] { run(); });
    lock.unlock();
    wake();
    return running;
}

std::vector<pid_t> ExtensionSupervisor::unwant(const std::filesystem::path& executable)
{
    std::vector<pid_t> result;
    {
        std::lock_guard lock(m_mutex);
        m_wanted = false;
        m_restartAt.reset();
        if (m_pid > 0)
            result.push_back(m_pid);
    }
    auto holders = ExtensionProcesses::lockHolders(lockFile());
    for (auto pid : ExtensionProcesses::running(executable))
        if (std::ranges::binary_search(holders, pid) && std::ranges::find(result, pid) == result.end())
            result.push_back(pid);
    wake();
    return result;
}

std::optional<pid_t> ExtensionSupervisor::watched() const
{
    std::lock_guard lock(m_mutex);
    return m_pid > 0 ? std::optional<pid_t>(m_pid) : std::nullopt;
}

bool ExtensionSupervisor::startLocked()
{
    m_startedAt = Clock::now();
    auto holders = ExtensionProcesses::lockHolders(lockFile());
    for (auto pid : ExtensionProcesses::running(m_executable)) {
        if (std::ranges::binary_search(holders, pid)) {
            watchLocked(pid, false, -1);
            return true;
        }
    }
    auto started = ExtensionProcesses::spawnWithErrorOutput(m_executable, m_arguments);
    if (!started) {
        Log::failure("Die Erweiterung " + m_executable.string() + " kann nicht gestartet werden: " + started.error().message());
        return false;
    }
    watchLocked(started->first, true, started->second);
    return true;
}

void ExtensionSupervisor::watchLocked(pid_t pid, bool own, int errorOutput)
{
    m_pid = pid;
    m_own = own;
    m_processDescriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    m_errorOutput = errorOutput;
    m_partialLine.clear();
    if (m_processDescriptor < 0)
        Log::failure("Der Erweiterungsprozess " + std::to_string(pid) + " lässt sich nicht beobachten: " + std::strerror(errno));
}

void ExtensionSupervisor::wake()
{
    if (m_wakeWrite >= 0) {
        char byte = 1;
        [[maybe_unused]] auto written = ::write(m_wakeWrite, &byte, 1);
    }
}

void ExtensionSupervisor::closeErrorOutputLocked()
{
    if (!m_partialLine.empty())
        Log::line(m_executable.filename().string() + ": " + std::exchange(m_partialLine, {}));
    if (m_errorOutput >= 0)
        ::close(m_errorOutput);
    m_errorOutput = -1;
}

void ExtensionSupervisor::readErrorOutput(bool toTheEnd)
{
    std::lock_guard lock(m_mutex);
    char buffer[4096];
    while (m_errorOutput >= 0) {
        auto count = ::read(m_errorOutput, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN && !toTheEnd)
            return;
        if (count <= 0) {
            closeErrorOutputLocked();
            return;
        }
        m_partialLine.append(buffer, static_cast<std::size_t>(count));
        for (auto end = m_partialLine.find('\n'); end != std::string::npos; end = m_partialLine.find('\n')) {
            Log::line(m_executable.filename().string() + ": " + m_partialLine.substr(0, end));
            m_partialLine.erase(0, end + 1);
        }
        // A line without end is cut, so one process cannot grow ours without bound.
        if (m_partialLine.size() > 16384)
            Log::line(m_executable.filename().string() + ": " + std::exchange(m_partialLine, {}));
    }
}

void ExtensionSupervisor::ended(std::unique_lock<std::mutex>& lock)
{
    const pid_t pid = m_pid;
    const bool own = m_own;
    ::close(m_processDescriptor);
    m_processDescriptor = -1;
    std::string ending = "endete";
    if (own) {
        siginfo_t information {};
        while (::waitid(P_PID, static_cast<id_t>(pid), &information, WEXITED) < 0 && errno == EINTR) { }
        ending = endingOf(information);
        // What it wrote before it ended; a child of its own could hold the
        // pipe open for longer, so only what is there now.
        lock.unlock();
        readErrorOutput(false);
        lock.lock();
        closeErrorOutputLocked();
    }
    m_pid = 0;
    const auto ranFor = Clock::now() - m_startedAt;
    const std::string name = "Die Erweiterung " + m_executable.filename().string() + " (Prozess " + std::to_string(pid) + ") ";
    if (!m_wanted || m_stopping) {
        Log::line(name + ending + ".");
        return;
    }
    if (m_stillWanted && !m_stillWanted()) {
        m_wanted = false;
        Log::line(name + ending + "; sie ist abgeschaltet und wird nicht neu gestartet.");
        return;
    }
    if (ranFor >= m_policy.stableAfter)
        m_restarts = 0;
    if (m_restarts >= m_policy.restartsInARow) {
        m_wanted = false;
        Log::failure(name + ending + ". Sie wird nicht mehr neu gestartet: sie endete " + std::to_string(m_restarts + 1)
            + "-mal in Folge kurz nach dem Start.");
        return;
    }
    const auto delay = m_policy.firstDelay * (1 << m_restarts);
    ++m_restarts;
    m_restartAt = Clock::now() + delay;
    Log::failure(name + ending + "; sie wird in " + seconds(delay) + " neu gestartet.");
}

void ExtensionSupervisor::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        if (m_restartAt && Clock::now() >= *m_restartAt) {
            m_restartAt.reset();
            if (m_wanted && m_pid == 0 && (!m_stillWanted || m_stillWanted()))
                startLocked();
            continue;
        }
        int timeout = -1;
        if (m_restartAt)
            timeout = static_cast<int>(
                std::max<long long>(1, std::chrono::ceil<std::chrono::milliseconds>(*m_restartAt - Clock::now()).count()));
        pollfd descriptors[3] = { { m_wakeRead, POLLIN, 0 }, { m_processDescriptor, POLLIN, 0 }, { m_errorOutput, POLLIN, 0 } };
        lock.unlock();
        int ready = ::poll(descriptors, 3, timeout);
        if (ready > 0 && descriptors[0].revents) {
            char bytes[64];
            while (::read(m_wakeRead, bytes, sizeof bytes) > 0) { }
        }
        if (ready > 0 && descriptors[2].revents)
            readErrorOutput(false);
        lock.lock();
        if (ready > 0 && descriptors[1].revents && descriptors[1].fd == m_processDescriptor && m_processDescriptor >= 0)
            ended(lock);
    }
}

} // namespace Platform
