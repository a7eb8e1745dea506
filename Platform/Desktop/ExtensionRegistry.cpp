#include "Platform/Desktop/ExtensionRegistry.hpp"

#include "Platform/Desktop/ExtensionSupervisor.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace Platform {

namespace {

std::vector<ExtensionRegistration> parseRegistrations(const std::optional<std::string>& content)
{
    std::vector<ExtensionRegistration> result;
    if (!content)
        return result;
    auto document = nlohmann::json::parse(*content, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("registrations") || !document["registrations"].is_array())
        return result;
    for (auto& entry : document["registrations"]) {
        if (!entry.is_object() || !entry.contains("identifier") || !entry["identifier"].is_string() || !entry.contains("executable")
            || !entry["executable"].is_string())
            continue;
        result.push_back({ entry["identifier"].get<std::string>(), entry["executable"].get<std::string>(), entry.value("enabled", false) });
    }
    return result;
}

std::string serialized(const std::vector<ExtensionRegistration>& registrations)
{
    auto list = nlohmann::json::array();
    for (auto& registration : registrations)
        list.push_back({ { "identifier", registration.identifier }, { "executable", registration.executable.string() },
            { "enabled", registration.enabled } });
    return nlohmann::json { { "registrations", list } }.dump(2) + "\n";
}

// Runs `change` on the stored registrations under the registry's lock and
// writes the result; false when the file cannot be read or written, or
// `change` says so.
template<class Change>
bool modify(const std::filesystem::path& file, Change&& change)
{
    auto lockPath = file;
    lockPath += ".lock";
    auto lock = FileLock::acquire(lockPath);
    if (!lock) {
        Log::failure("Die Erweiterungsliste kann nicht gesperrt werden: " + lock.error().message());
        return false;
    }
    auto content = readWholeFile(file);
    if (!content)
        return false;
    auto registrations = parseRegistrations(*content);
    if (!change(registrations))
        return false;
    auto written = writeFileAtomically(file, serialized(registrations), 0600);
    if (!written)
        Log::failure("Die Erweiterungsliste kann nicht geschrieben werden: " + written.error().message());
    return written.has_value();
}

std::filesystem::path resolvedPath(const std::filesystem::path& path)
{
    std::error_code ignored;
    auto result = std::filesystem::weakly_canonical(path, ignored);
    return result.empty() ? path : result;
}

bool isExecutableOf(pid_t pid, const std::string& wanted)
{
    auto process = "/proc/" + std::to_string(pid);
    struct stat status {};
    if (::stat(process.c_str(), &status) != 0 || status.st_uid != ::getuid())
        return false;
    char target[4096];
    auto length = ::readlink((process + "/exe").c_str(), target, sizeof target - 1);
    if (length <= 0)
        return false;
    std::string_view exe(target, static_cast<std::size_t>(length));
    // A program replaced by an update keeps running from the old file, which
    // the kernel then shows with this suffix.
    return exe == wanted || exe == wanted + " (deleted)";
}

// Switches the registration of `identifier` on or off; its executable, or
// nothing when it is not registered or the file cannot be written.
std::optional<std::filesystem::path> setEnabled(const std::filesystem::path& file, const std::string& identifier, bool enabled)
{
    std::optional<std::filesystem::path> executable;
    bool changed = modify(file, [&](std::vector<ExtensionRegistration>& registrations) {
        auto existing = std::ranges::find(registrations, identifier, &ExtensionRegistration::identifier);
        if (existing == registrations.end())
            return false;
        existing->enabled = enabled;
        executable = existing->executable;
        return true;
    });
    return changed ? executable : std::nullopt;
}

} // namespace

FileExtensionRegistry::FileExtensionRegistry(std::filesystem::path groupDirectory, std::vector<std::string> extensionArguments)
    : m_file(groupDirectory / fileName)
    , m_extensionArguments(std::move(extensionArguments))
    , m_supervisor(ExtensionSupervisor::forGroupDirectory(groupDirectory))
{
}

std::vector<ExtensionRegistration> FileExtensionRegistry::registrations() const
{
    auto content = readWholeFile(m_file);
    return content ? parseRegistrations(*content) : std::vector<ExtensionRegistration>();
}

std::optional<ExtensionRegistration> FileExtensionRegistry::registration(const std::string& identifier) const
{
    for (auto& registration : registrations())
        if (registration.identifier == identifier)
            return registration;
    return std::nullopt;
}

bool FileExtensionRegistry::add(const std::string& identifier, const std::filesystem::path& executable)
{
    if (::access(executable.c_str(), X_OK) != 0) {
        Log::failure("Die Erweiterung " + executable.string() + " kann nicht registriert werden: kein ausführbares Programm");
        return false;
    }
    auto path = resolvedPath(executable);
    return modify(m_file, [&](std::vector<ExtensionRegistration>& registrations) {
        auto existing = std::ranges::find(registrations, identifier, &ExtensionRegistration::identifier);
        if (existing != registrations.end())
            existing->executable = path;
        else
            registrations.push_back(ExtensionRegistration { identifier, path, false });
        return true;
    });
}

bool FileExtensionRegistry::use(const std::string& identifier)
{
    auto executable = setEnabled(m_file, identifier, true);
    if (!executable)
        return false;
    // Switched off in the file, by this process or another, it stays ended.
    auto stillWanted = [file = m_file, identifier] {
        auto content = readWholeFile(file);
        for (auto& registration : parseRegistrations(content ? *content : std::nullopt))
            if (registration.identifier == identifier)
                return registration.enabled;
        return false;
    };
    return m_supervisor->want(*executable, m_extensionArguments, std::move(stillWanted));
}

bool FileExtensionRegistry::ignore(const std::string& identifier)
{
    auto executable = setEnabled(m_file, identifier, false);
    if (!executable)
        return false;
    for (auto pid : m_supervisor->unwant(*executable))
        ExtensionProcesses::signal(pid, SIGTERM, *executable);
    return true;
}

bool FileExtensionRegistry::remove(const std::filesystem::path& executable)
{
    auto path = resolvedPath(executable);
    return modify(m_file, [&](std::vector<ExtensionRegistration>& registrations) {
        std::erase_if(registrations, [&](const ExtensionRegistration& registration) {
            return registration.executable == path || registration.executable == executable;
        });
        return true;
    });
}

namespace ExtensionProcesses {

std::vector<pid_t> running(const std::filesystem::path& executable)
{
    std::vector<pid_t> result;
    auto wanted = resolvedPath(executable).string();
    std::error_code error;
    for (auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        auto name = entry.path().filename().string();
        if (name.empty() || !std::ranges::all_of(name, [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        auto pid = static_cast<pid_t>(std::stol(name));
        if (pid != ::getpid() && isExecutableOf(pid, wanted))
            result.push_back(pid);
    }
    std::ranges::sort(result);
    return result;
}

std::vector<pid_t> lockHolders(const std::filesystem::path& file)
{
    std::vector<pid_t> result;
    struct stat status { };
    if (::stat(file.c_str(), &status) != 0)
        return result;
    auto locks = readWholeFile("/proc/locks");
    if (!locks || !*locks)
        return result;
    // "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; "1: -> FLOCK …" lines wait for a lock.
    std::istringstream lines(**locks);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, device;
        if (!(fields >> number >> kind >> mode >> access >> pid >> device) || kind != "FLOCK")
            continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(device.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
            continue;
        if (inode == status.st_ino && major == ::major(status.st_dev) && minor == ::minor(status.st_dev))
            result.push_back(static_cast<pid_t>(std::stol(pid)));
    }
    std::ranges::sort(result);
    return result;
}

namespace {

// Starts `executable` in a session of its own, stdin and stdout on
// /dev/null, stderr on `errorOutput` (or /dev/null when it is -1).
std::expected<pid_t, std::error_code> spawn(const std::filesystem::path& executable, const std::vector<std::string>& arguments, int errorOutput)
{
    std::vector<std::string> storage { executable.string() };
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // A detached process must not hold the starter's terminal or pipes open
    // (a caller reading our output would wait for it for ever).
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (errorOutput >= 0)
        posix_spawn_file_actions_adddup2(&actions, errorOutput, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t empty;
    sigset_t all;
    sigemptyset(&empty);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &empty);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int result = ::posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0)
        return std::unexpected(std::error_code(result, std::generic_category()));
    return pid;
}

} // namespace

std::expected<pid_t, std::error_code> spawnDetached(const std::filesystem::path& executable, const std::vector<std::string>& arguments)
{
    auto pid = spawn(executable, arguments, -1);
    if (!pid)
        return pid;
    std::thread([pid = *pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
    return pid;
}

std::expected<std::pair<pid_t, int>, std::error_code> spawnWithErrorOutput(const std::filesystem::path& executable, const std::vector<std::string>& arguments)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return std::unexpected(std::error_code(errno, std::generic_category()));
    // The child's end blocks, as a terminal would.
    ::fcntl(pipe[1], F_SETFL, 0);
    auto pid = spawn(executable, arguments, pipe[1]);
    ::close(pipe[1]);
    if (!pid) {
        ::close(pipe[0]);
        return std::unexpected(pid.error());
    }
    return std::pair { *pid, pipe[0] };
}

bool signal(pid_t pid, int signalNumber, const std::filesystem::path& executable)
{
    auto wanted = resolvedPath(executable).string();
    // Holding a descriptor of the process first means the check and the
    // signal are about the same process, even if its identifier is reused.
    int processDescriptor = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (!isExecutableOf(pid, wanted)) {
        if (processDescriptor >= 0)
            ::close(processDescriptor);
        return false;
    }
    bool sent;
    if (processDescriptor >= 0) {
        sent = ::syscall(SYS_pidfd_send_signal, processDescriptor, signalNumber, nullptr, 0) == 0;
        ::close(processDescriptor);
    } else {
        sent = ::kill(pid, signalNumber) == 0;
    }
    return sent;
}

} // namespace ExtensionProcesses

} // namespace Platform
