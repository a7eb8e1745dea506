#include "Platform/Desktop/Tests/PrivateSessionBus.hpp"

#include "Platform/Desktop/BusConnection.hpp"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace Platform::Testing {

pid_t spawnProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
    const std::optional<std::string>& input, int* outputDescriptor)
{
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        std::string text(*entry);
        auto equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (auto& [name, value] : environment) {
        if (value.empty())
            variables.erase(name);
        else
            variables[name] = value;
    }
    std::vector<std::string> envStorage;
    for (auto& [name, value] : variables)
        envStorage.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : envStorage)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStorage(argv);
    std::vector<char*> args;
    for (auto& argument : argStorage)
        args.push_back(argument.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int inputPipe[2] = { -1, -1 };
    int outputPipe[2] = { -1, -1 };
    if (input && ::pipe2(inputPipe, O_CLOEXEC) == 0)
        posix_spawn_file_actions_adddup2(&actions, inputPipe[0], STDIN_FILENO);
    if (outputDescriptor && ::pipe2(outputPipe, O_CLOEXEC) == 0)
        posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (inputPipe[0] >= 0) {
        ::close(inputPipe[0]);
        [[maybe_unused]] auto written = ::write(inputPipe[1], input->data(), input->size());
        ::close(inputPipe[1]);
    }
    if (outputPipe[1] >= 0) {
        ::close(outputPipe[1]);
        *outputDescriptor = outputPipe[0];
    }
    return pid;
}

void endProcess(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

std::unique_ptr<PrivateSessionBus> PrivateSessionBus::start()
{
    int output = -1;
    auto pid = spawnProcess({ "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1" }, {}, std::nullopt, &output);
    if (pid <= 0 || output < 0)
        return nullptr;
    std::string address;
    pollfd descriptor { output, POLLIN, 0 };
    while (address.find('\n') == std::string::npos && ::poll(&descriptor, 1, 10000) > 0) {
        char buffer[512];
        auto count = ::read(output, buffer, sizeof buffer);
        if (count <= 0)
            break;
        address.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(output);
    if (auto end = address.find('\n'); end != std::string::npos)
        address.resize(end);
    if (address.empty()) {
        endProcess(pid);
        return nullptr;
    }
    return std::unique_ptr<PrivateSessionBus>(new PrivateSessionBus(pid, address));
}

PrivateSessionBus::~PrivateSessionBus() { endProcess(m_pid); }

bool PrivateSessionBus::waitForName(const std::string& name, std::chrono::milliseconds timeout) const
{
    auto* connection = openBusConnection(m_address);
    if (!connection)
        return false;
    bool owned = false;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!owned && std::chrono::steady_clock::now() < deadline) {
        auto* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
        if (reply) {
            gboolean has = FALSE;
            g_variant_get(reply, "(b)", &has);
            g_variant_unref(reply);
            owned = has;
        }
        if (!owned)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    closeBusConnection(connection);
    return owned;
}

} // namespace Platform::Testing
