#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace LocalCloud::Testing {

// The `localcloud` program as a child process serving a data folder on a
// loopback port, for the tests and benchmarks that need the real program (a
// process of its own to kill, to measure, or to start again over the same
// folder) rather than the service inside their own process.
class LocalCloudProcess {
public:
    // Starts `program` over `dataFolder` with `options` after the port and the
    // folder; on `port`, or on a loopback port nobody uses when it is 0.
    LocalCloudProcess(const std::string& program, const std::filesystem::path& dataFolder,
        std::vector<std::string> options = {}, int port = 0);
    // Kills a child still running and waits for it.
    ~LocalCloudProcess();
    LocalCloudProcess(const LocalCloudProcess&) = delete;
    LocalCloudProcess& operator=(const LocalCloudProcess&) = delete;

    // Whether the child was started (and not yet stopped).
    [[nodiscard]] bool isRunning() const { return m_pid > 0; }
    // Waits until the port accepts connections; false when `timeout` passes first.
    [[nodiscard]] bool waitUntilAccepting(std::chrono::milliseconds timeout) const;
    // Sends `signal`, waits for the child to end and answers its wait status;
    // 0 when no child runs.
    int stop(int signal);

    [[nodiscard]] int port() const { return m_port; }
    [[nodiscard]] pid_t pid() const { return m_pid; }
    // The API's base, "http://127.0.0.1:<port>/v2.0".
    [[nodiscard]] std::string baseURL() const;

private:
    int m_port = 0;
    pid_t m_pid = 0;
};

} // namespace LocalCloud::Testing
