#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace Platform {

// Keeps the extension of one group directory running while the application
// wants it. The extension of a group directory is the process that holds its
// lock file and runs the extension's executable: another session of the same
// user (another group directory) has its own, which is never counted,
// watched or ended here.
//
// `want` starts the executable unless this group directory's extension runs,
// and from then on watches it: when it ends while it is still wanted, a line
// says why (its exit status or the signal), and it is started again after
// 0.5 s, 1 s, 2 s … — at most `restartsInARow` times in a row; a run of a
// minute or more starts the count anew. A process this supervisor started
// writes its error output into this process's log, line by line, each line
// after the program's name ("glimmerd: …"). `unwant` stops that and names the
// processes to end.
//
// One supervisor per group directory and process (`forGroupDirectory`), so
// every registry over that directory shares it. Threading: any thread; one
// thread of its own watches the process and reads its output.
class ExtensionSupervisor {
public:
    struct Policy {
        int restartsInARow = 5;
        std::chrono::milliseconds firstDelay { 500 };
        std::chrono::milliseconds stableAfter { std::chrono::minutes(1) };
    };

    // The process's supervisor of `groupDirectory`, made on first use.
    [[nodiscard]] static std::shared_ptr<ExtensionSupervisor> forGroupDirectory(const std::filesystem::path& groupDirectory);

    explicit ExtensionSupervisor(std::filesystem::path groupDirectory, Policy policy);
    ~ExtensionSupervisor();
    ExtensionSupervisor(const ExtensionSupervisor&) = delete;
    ExtensionSupervisor& operator=(const ExtensionSupervisor&) = delete;

    // Starts `executable` with `arguments` unless this group directory's
    // extension runs, and keeps it running while `stillWanted()` (asked before
    // each restart) says so. False when it could not be started.
    bool want(const std::filesystem::path& executable, std::vector<std::string> arguments, std::function<bool()> stillWanted);
    // No more restarts; the processes of this group directory's extension of
    // `executable` to end (the one started here, if it has not taken the lock yet, included).
    [[nodiscard]] std::vector<pid_t> unwant(const std::filesystem::path& executable);
    // The process watched now.
    [[nodiscard]] std::optional<pid_t> watched() const;

    [[nodiscard]] std::filesystem::path lockFile() const;

private:
    bool startLocked();
    void watchLocked(pid_t pid, bool own, int errorOutput);
    void ended(std::unique_lock<std::mutex>& lock);
    void readErrorOutput(bool toTheEnd);
    void closeErrorOutputLocked();
    void run();
    void wake();

    const std::filesystem::path m_groupDirectory;
    const Policy m_policy;
    mutable std::mutex m_mutex;
    bool m_stopping = false;
    bool m_wanted = false;
    std::filesystem::path m_executable;
    std::vector<std::string> m_arguments;
    std::function<bool()> m_stillWanted;
    pid_t m_pid = 0;
    bool m_own = false;
    int m_processDescriptor = -1;
    int m_errorOutput = -1;
    std::string m_partialLine;
    std::chrono::steady_clock::time_point m_startedAt {};
    int m_restarts = 0;
    std::optional<std::chrono::steady_clock::time_point> m_restartAt;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::thread m_thread;
};

} // namespace Platform
