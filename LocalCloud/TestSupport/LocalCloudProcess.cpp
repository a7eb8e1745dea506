#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"

#include "LocalCloud/Http/LoopbackPorts.hpp"

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace LocalCloud::Testing {

LocalCloudProcess::LocalCloudProcess(const std::string& program, const std::filesystem::path& dataFolder,
    std::vector<std::string> options, int port)
    : m_port(port != 0 ? port : unusedLoopbackPort())
{
    std::vector<std::string> arguments { program, std::to_string(m_port), dataFolder.string() };
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        m_pid = 0;
}

LocalCloudProcess::~LocalCloudProcess()
{
    stop(SIGKILL);
}

bool LocalCloudProcess::waitUntilAccepting(std::chrono::milliseconds timeout) const
{
    auto const deadline = std::chrono::steady_clock::now() + timeout;
    while (!acceptsOnLoopback(m_port)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int LocalCloudProcess::stop(int signal)
{
    // Without a child, kill(0, …) would signal our own process group.
    if (m_pid <= 0)
        return 0;
    ::kill(m_pid, signal);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = 0;
    return status;
}

std::string LocalCloudProcess::baseURL() const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + "/v2.0";
}

} // namespace LocalCloud::Testing
