#pragma once

#include "Shared/WormholeNavigator.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/Desktop/Wormhole.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace GlimmerdTesting {

// The application's side in a temporary group directory: the database
// written through the sync stores, the shared settings, and a message channel
// that answers pings and records share requests.
class TestApplication {
public:
    explicit TestApplication(const std::string& groupDirectory);
    ~TestApplication();

    // Starts answering pings and listening for share requests.
    void launch();
    // Posts the termination notification and stops answering.
    void terminate();
    void postSettingsChanged();

    [[nodiscard]] std::vector<std::pair<std::string, std::int64_t>> shareRequests() const;

    std::shared_ptr<Sync::RealmFileStore> fileStore;
    std::shared_ptr<Sync::RealmFileSyncStatusStore> statusStore;
    std::shared_ptr<Platform::DistributedNotificationCenter> notificationCenter;

private:
    std::string m_group;
    std::shared_ptr<Platform::Wormhole> m_wormhole;
    std::unique_ptr<Orvella::WormholeNavigator> m_navigator;
    std::vector<Platform::NotificationCenter::Registration> m_registrations;
    mutable std::mutex m_mutex;
    std::vector<std::pair<std::string, std::int64_t>> m_shares;
};

// A glimmerd process in the group directory, its socket below a private runtime directory.
class GlimmerdProcess {
public:
    GlimmerdProcess(const std::string& groupDirectory, const std::string& runtimeDirectory);
    ~GlimmerdProcess();

    [[nodiscard]] std::string socketPath() const { return m_runtime + "/orvella/glimmerd.sock"; }
    // Waits until the socket answers.
    [[nodiscard]] bool waitUntilServing(std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;
    // Sends SIGTERM and waits; the exit status, or -1 for a signal.
    int terminate();
    // Waits for the process to end by itself; its exit status, or -1 (a signal, or still running at the timeout: then killed).
    int waitForExit(std::chrono::milliseconds timeout);
    [[nodiscard]] std::string log() const;
    [[nodiscard]] pid_t pid() const { return m_pid; }

private:
    std::string m_group;
    std::string m_runtime;
    std::string m_logFile;
    pid_t m_pid = -1;
};

// Runs glimmerctl against `process` and returns its exit status and output.
struct ProgramResult;
ProgramResult glimmerctl(const GlimmerdProcess& process, std::vector<std::string> arguments);

// The environment glimmerd and its clients see in the tests.
std::vector<std::string> glimmerdEnvironment(const std::string& groupDirectory, const std::string& runtimeDirectory);

// A child process with its standard output on a pipe, read line by line.
class LineReader {
public:
    LineReader(const std::string& program, const std::vector<std::string>& arguments, const std::vector<std::string>& environment);
    ~LineReader();
    // Waits until a line containing `text` arrived; true when it did.
    [[nodiscard]] bool waitForLine(const std::string& text, std::chrono::milliseconds timeout);

private:
    pid_t m_pid = -1;
    int m_output = -1;
    std::string m_buffer;
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

} // namespace GlimmerdTesting
