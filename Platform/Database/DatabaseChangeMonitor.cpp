#include "Platform/Database/DatabaseChangeMonitor.hpp"

#include "Platform/Database/Database.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PollLoop.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

// A file event may arrive just before the writer publishes its commit in the
// shared WAL index, so after one we look again a few times at a short interval.
constexpr int settleChecks = 10;
constexpr int settleIntervalMilliseconds = 20;

void logDatabaseFailure(const std::string& text)
{
    Log::failure(text);
}

std::optional<std::pair<dev_t, ino_t>> identityOf(const std::filesystem::path& file)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return std::nullopt;
    return std::pair {status.st_dev, status.st_ino};
}

} // namespace

struct DatabaseChangeMonitor::Core {
    std::mutex mutex;
    std::vector<std::shared_ptr<DatabaseObservation::State>> observations;

    std::atomic<bool> stopping {false};
    int inotifyDescriptor = -1;
    int wakeDescriptor = -1;
    // Ends the monitor thread's wait.
    std::optional<PollLoop> loop;
    std::string key;
    std::string fileName;
    std::string walName;
    std::chrono::milliseconds pollInterval {2000};
    // Used only by the monitor thread once it runs.
    std::optional<Database> connection;
    DatabaseConfiguration configuration;
    // The file the connection has open, to notice when the path is given a new file.
    std::optional<std::pair<dev_t, ino_t>> fileIdentity;
    std::int64_t lastVersion = 0;
    bool loggedFailure = false;

    ~Core()
    {
        if (inotifyDescriptor >= 0)
            ::close(inotifyDescriptor);
        if (wakeDescriptor >= 0)
            ::close(wakeDescriptor);
    }

    void wake() const
    {
        std::uint64_t one = 1;
        // A full counter already means "wake up"; nothing to do about a failure.
        [[maybe_unused]] auto written = ::write(wakeDescriptor, &one, sizeof one);
    }

    // True when an event named the database or its WAL file (or events were lost).
    bool drainFileEvents() const
    {
        alignas(inotify_event) char buffer[4096];
        bool relevant = false;
        while (true) {
            auto length = ::read(inotifyDescriptor, buffer, sizeof buffer);
            if (length <= 0)
                return relevant;
            for (char* position = buffer; position < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(position);
                if (event->mask & IN_Q_OVERFLOW)
                    relevant = true;
                if (event->len > 0) {
                    std::string_view name(event->name);
                    if (name == fileName || name == walName)
                        relevant = true;
                }
                position += sizeof(inotify_event) + event->len;
            }
        }
    }

    void drainWakeUps() const
    {
        std::uint64_t count = 0;
        [[maybe_unused]] auto read = ::read(wakeDescriptor, &count, sizeof count);
    }

    // When the file at the path was replaced (deleted and created anew, or
    // renamed over), the open connection still reads the old one: reopen, and
    // count the replacement as a change.
    bool reopenIfReplaced()
    {
        auto identity = identityOf(configuration.file);
        if (!identity || identity == fileIdentity)
            return false;
        auto reopened = Database::open(configuration);
        if (!reopened) {
            logDatabaseFailure(
                "Database change monitor cannot reopen a replaced file: " + reopened.error().description());
            return false;
        }
        connection.emplace(std::move(*reopened));
        fileIdentity = identityOf(configuration.file);
        auto version = connection->dataVersion();
        lastVersion = version.value_or(lastVersion);
        return true;
    }

    void checkForCommits(bool fileEvent)
    {
        if (fileEvent && reopenIfReplaced()) {
            notifyAll();
            return;
        }
        auto version = connection->dataVersion();
        if (!version) {
            if (!loggedFailure)
                logDatabaseFailure("Database change check failed: " + version.error().description());
            loggedFailure = true;
            return;
        }
        loggedFailure = false;
        if (*version == lastVersion)
            return;
        lastVersion = *version;
        notifyAll();
    }

    void notifyAll()
    {
        std::vector<std::shared_ptr<DatabaseObservation::State>> current;
        {
            std::lock_guard lock(mutex);
            current = observations;
        }
        for (const auto& observation : current)
            deliverDatabaseChange(observation);
    }

    void run()
    {
        const int descriptors[] = {inotifyDescriptor, wakeDescriptor};
        int settling = 0;
        auto timeout = [&] {
            return std::optional(settling > 0 ? std::chrono::milliseconds(settleIntervalMilliseconds) : pollInterval);
        };
        auto ran = loop->run(descriptors, timeout, [&](const PollLoop::Wake& wake) {
            if (stopping.load())
                return;
            bool fileEvent = wake.readable(0) && drainFileEvents();
            if (wake.readable(1))
                drainWakeUps();
            if (fileEvent)
                settling = settleChecks;
            else if (wake.timedOut && settling > 0)
                --settling;
            checkForCommits(fileEvent);
        });
        if (!ran && !stopping.load())
            logDatabaseFailure("Database change monitor stopped: " + ran.error().message());
    }
};

namespace {

struct RegistryEntry {
    std::weak_ptr<DatabaseChangeMonitor> monitor;
    std::weak_ptr<DatabaseChangeMonitor::Core> core;
};

std::mutex registryMutex;
// Never destroyed: a monitor may end while the process exits.
std::map<std::string, RegistryEntry>& registry()
{
    static auto* entries = new std::map<std::string, RegistryEntry>;
    return *entries;
}

} // namespace

std::string DatabaseChangeMonitor::keyFor(const std::filesystem::path& file)
{
    std::error_code error;
    auto absolute = std::filesystem::absolute(file, error);
    if (error)
        return file.lexically_normal().string();
    auto canonical = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : canonical.string();
}

void DatabaseChangeMonitor::commitHappened(const std::string& key)
{
    std::shared_ptr<Core> core;
    {
        std::lock_guard lock(registryMutex);
        auto found = registry().find(key);
        if (found == registry().end())
            return;
        core = found->second.core.lock();
    }
    if (core)
        core->wake();
}

std::expected<std::shared_ptr<DatabaseChangeMonitor>, DatabaseError> DatabaseChangeMonitor::monitor(
    const DatabaseConfiguration& configuration, const std::string& key)
{
    {
        std::lock_guard lock(registryMutex);
        auto found = registry().find(key);
        if (found != registry().end()) {
            if (auto existing = found->second.monitor.lock())
                return existing;
        }
    }

    // Set up outside the registry lock: opening may wait for the busy time-out.
    auto core = std::make_shared<Core>();
    auto connection = Database::open(configuration);
    if (!connection)
        return std::unexpected(connection.error());
    auto version = connection->dataVersion();
    if (!version)
        return std::unexpected(version.error());
    core->lastVersion = *version;
    core->connection.emplace(std::move(*connection));
    core->configuration = configuration;
    core->fileIdentity = identityOf(configuration.file);
    core->pollInterval = std::max(configuration.fallbackPollInterval, std::chrono::milliseconds(1));
    std::filesystem::path path(key);
    core->key = key;
    core->fileName = path.filename().string();
    core->walName = core->fileName + "-wal";

    core->inotifyDescriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    core->wakeDescriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (core->inotifyDescriptor < 0 || core->wakeDescriptor < 0)
        return std::unexpected(DatabaseError(DatabaseError::Code::observationFailed,
            std::string("inotify or eventfd: ") + std::strerror(errno)));
    auto loop = PollLoop::create();
    if (!loop)
        return std::unexpected(DatabaseError(DatabaseError::Code::observationFailed,
            "inotify or eventfd: " + loop.error().message()));
    core->loop = std::move(*loop);
    // The directory, not the files: the WAL file is created and deleted as
    // connections come and go, and a watch on a deleted file goes dead.
    auto directory = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    if (::inotify_add_watch(core->inotifyDescriptor, directory.c_str(),
            IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_DELETE)
        < 0)
        return std::unexpected(DatabaseError(DatabaseError::Code::observationFailed,
            "inotify watch on " + directory.string() + ": " + std::strerror(errno)));

    std::lock_guard lock(registryMutex);
    auto& entry = registry()[key];
    if (auto existing = entry.monitor.lock())
        return existing;
    std::shared_ptr<DatabaseChangeMonitor> monitor(new DatabaseChangeMonitor(core));
    entry = {monitor, core};
    return monitor;
}

DatabaseChangeMonitor::DatabaseChangeMonitor(std::shared_ptr<Core> core)
    : m_core(std::move(core))
    // The thread owns its own reference to the core, so it may outlive this
    // object when the last observation ends on the monitor thread itself.
    , m_thread([core = m_core] { core->run(); })
{
}

DatabaseChangeMonitor::~DatabaseChangeMonitor()
{
    {
        std::lock_guard lock(registryMutex);
        auto found = registry().find(m_core->key);
        // A new monitor for the same file may have replaced this one already.
        if (found != registry().end() && found->second.monitor.expired())
            registry().erase(found);
    }
    m_core->stopping.store(true);
    m_core->loop->stop();
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach();
    else
        m_thread.join();
}

void DatabaseChangeMonitor::add(const std::shared_ptr<DatabaseObservation::State>& observation)
{
    std::lock_guard lock(m_core->mutex);
    m_core->observations.push_back(observation);
}

void DatabaseChangeMonitor::remove(const DatabaseObservation::State* observation)
{
    std::lock_guard lock(m_core->mutex);
    std::erase_if(m_core->observations, [&](const auto& entry) { return entry.get() == observation; });
}

} // namespace Platform
