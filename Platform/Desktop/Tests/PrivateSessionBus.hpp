#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace Platform::Testing {

// A session bus of the test's own (`dbus-daemon --session`), so tests that
// run at the same time never share a bus name. Ends with the object.
class PrivateSessionBus {
public:
    // Null when no bus daemon could be started.
    [[nodiscard]] static std::unique_ptr<PrivateSessionBus> start();
    ~PrivateSessionBus();

    [[nodiscard]] const std::string& address() const { return m_address; }
    // Waits until `name` has an owner on the bus.
    [[nodiscard]] bool waitForName(const std::string& name, std::chrono::milliseconds timeout) const;

private:
    PrivateSessionBus(pid_t pid, std::string address) : m_pid(pid), m_address(std::move(address)) {}
    pid_t m_pid;
    std::string m_address;
};

// Starts `argv` with this process's environment changed by `environment`
// (an empty value removes the variable) and `input` on stdin.
[[nodiscard]] pid_t spawnProcess(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
    const std::optional<std::string>& input = std::nullopt, int* outputDescriptor = nullptr);
// Ends a process started so and reaps it.
void endProcess(pid_t pid);

} // namespace Platform::Testing
