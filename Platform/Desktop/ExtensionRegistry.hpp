#pragma once

#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace Platform {

// Where the application registers its file-manager extension process and
// switches it on and off. Each verb answers whether it succeeded.
class ExtensionRegistry {
public:
    virtual ~ExtensionRegistry() = default;

    // Registers the executable at `executable` under `identifier` (switched off).
    virtual bool add(const std::string& identifier, const std::filesystem::path& executable) = 0;
    // Switches the extension on, starts it unless it runs, and keeps it running.
    virtual bool use(const std::string& identifier) = 0;
    // Switches the extension off and asks its running process to end (SIGTERM).
    virtual bool ignore(const std::string& identifier) = 0;
    // Removes every registration of `executable`.
    virtual bool remove(const std::filesystem::path& executable) = 0;
};

// One registration as stored in the registry file.
struct ExtensionRegistration {
    std::string identifier;
    std::filesystem::path executable;
    bool enabled = false;
};

// The registry as a JSON file in the group directory ("extensions.json"),
// changed under a lock and replaced atomically, so the extension process can
// read whether it is switched on. Starting and ending processes go through
// `ExtensionProcesses`: no shell is involved anywhere.
//
// The extension of this registry is the one process running its executable
// that holds the group directory's lock file (`instanceLockFileName`): `use`
// starts one only when that one does not run, and `ignore` ends only that one
// (or the one it started, before it took the lock), never the extension of
// another group directory of the same user. While switched on, the extension
// is started again when it ends (`ExtensionSupervisor`: bounded, with a log
// line of why it ended, its error output in this process's log).
//
// Threading: any thread; each verb is synchronous.
class FileExtensionRegistry final : public ExtensionRegistry {
public:
    static constexpr std::string_view fileName = "extensions.json";

    // `extensionArguments` are what the extension is started with (none for glimmerd).
    explicit FileExtensionRegistry(std::filesystem::path groupDirectory, std::vector<std::string> extensionArguments = {});

    bool add(const std::string& identifier, const std::filesystem::path& executable) override;
    bool use(const std::string& identifier) override;
    bool ignore(const std::string& identifier) override;
    bool remove(const std::filesystem::path& executable) override;

    // Every registration, in the order added.
    [[nodiscard]] std::vector<ExtensionRegistration> registrations() const;
    [[nodiscard]] std::optional<ExtensionRegistration> registration(const std::string& identifier) const;
    [[nodiscard]] const std::filesystem::path& filePath() const { return m_file; }

private:
    std::filesystem::path m_file;
    std::vector<std::string> m_extensionArguments;
    std::shared_ptr<class ExtensionSupervisor> m_supervisor;
};

// Process control for the extension, without a shell.
namespace ExtensionProcesses {

// This user's processes whose executable (`/proc/<pid>/exe`) is `executable`
// (also when it was replaced or deleted since it started), lowest process
// identifier first. The calling process is never listed.
[[nodiscard]] std::vector<pid_t> running(const std::filesystem::path& executable);

// Starts `executable` with `arguments` (argv[0] is the path) in a session of
// its own, with stdin, stdout and stderr on /dev/null; the child is reaped by
// a background thread, so it never lingers as a zombie.
[[nodiscard]] std::expected<pid_t, std::error_code> spawnDetached(
    const std::filesystem::path& executable, const std::vector<std::string>& arguments = {});

// As `spawnDetached`, but its stderr is the write end of a pipe whose read
// end (close-on-exec, non-blocking) is returned with it; the caller reaps it.
[[nodiscard]] std::expected<std::pair<pid_t, int>, std::error_code> spawnWithErrorOutput(
    const std::filesystem::path& executable, const std::vector<std::string>& arguments = {});

// The file in the group directory that a running extension holds locked
// (flock): one extension per group directory, and how the application finds
// the one of its own group directory.
inline constexpr const char* instanceLockFileName = "glimmerd.lock";

// The processes holding an flock(2) lock on `file` (as /proc/locks tells),
// lowest first; none when the file does not exist.
[[nodiscard]] std::vector<pid_t> lockHolders(const std::filesystem::path& file);

// Sends `signal` to `pid` only when it is still one of `running(executable)`,
// so a recycled process identifier is never hit. Returns whether it was sent.
bool signal(pid_t pid, int signal, const std::filesystem::path& executable);

} // namespace ExtensionProcesses

} // namespace Platform
