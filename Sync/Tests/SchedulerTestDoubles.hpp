#pragma once

#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"
#include "Sync/Run/SyncExecutor.hpp"
#include "Sync/Schedule/CloudFolderPreparator.hpp"
#include "Sync/Schedule/RootEtagProvider.hpp"
#include "Sync/Schedule/SyncConfiguration.hpp"
#include "Sync/Watch/FileSystemTrigger.hpp"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace Sync::Testing {

// Sync switched on and the server reachable, both settable by the test.
class TestSyncConfiguration final : public SyncConfiguration {
public:
    explicit TestSyncConfiguration(std::chrono::nanoseconds interval) : m_interval(interval) {}
    std::chrono::nanoseconds syncInterval() const override { return m_interval; }
    Reactive::Property<bool> isSyncEnabled() const override { return enabled; }
    Reactive::Property<bool> isRemoteReachable() const override { return reachable; }

    Reactive::MutableProperty<bool> enabled { true };
    Reactive::MutableProperty<bool> reachable { true };

private:
    std::chrono::nanoseconds m_interval;
};

// Succeeds unless told to fail; counts its calls.
class TestCloudFolderPreparator final : public CloudFolderPreparator {
public:
    std::expected<void, Reactive::AnyError> prepareCloudFolder() override;
    std::atomic<bool> fails { false };
    std::atomic<int> calls { 0 };
};

// Answers the etag it holds at once, or, while `hangs`, never answers.
class TestRootEtagProvider final : public RootEtagProvider {
public:
    Reactive::SignalProducer<std::string, Reactive::NoError> rootEtag() override;
    void setEtag(std::string etag);
    std::atomic<bool> hangs { false };
    std::atomic<int> calls { 0 };
    std::atomic<int> abandoned { 0 }; // hanging requests that were disposed

private:
    std::mutex m_mutex;
    std::string m_etag = "etag-1";
};

// Runs that the test drives: each start is recorded and stays open until
// the test sends into it and completes it.
class TestSyncExecutor final : public SyncExecutor {
public:
    TestSyncExecutor();
    Reactive::SignalProducer<SyncEventPair, Reactive::NoError> performSync() override;
    Reactive::Signal<Reactive::AnyError, Reactive::NoError> runFailures() const override { return m_runFailures.first; }

    std::size_t runCount() const;
    // Whether the newest run is still open (neither completed nor disposed).
    bool isRunning() const;
    std::size_t disposedCount() const;
    void sendEvent();
    // An error event of a change, as when an upload failed.
    void sendError();
    // A failure of the run itself, as when the service could not be reached.
    void reportRunFailure() { m_runFailures.second.send(Reactive::AnyError(std::string("service not reachable"))); }
    void complete();

private:
    std::pair<Reactive::Signal<Reactive::AnyError, Reactive::NoError>, Reactive::Observer<Reactive::AnyError, Reactive::NoError>> m_runFailures;
    struct Run {
        Reactive::Observer<SyncEventPair, Reactive::NoError> observer;
        bool open = true;
    };
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<Run>> m_runs;
    std::size_t m_disposed = 0;
};

// A local trigger that sends when the test says so.
class TestFileSystemTrigger final : public FileSystemTrigger {
public:
    TestFileSystemTrigger();
    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> cloudFolderChanged() const override;
    void fire() { m_pipe.second.send(Reactive::Unit()); }

private:
    std::pair<Reactive::Signal<Reactive::Unit, Reactive::NoError>, Reactive::Observer<Reactive::Unit, Reactive::NoError>> m_pipe;
};

} // namespace Sync::Testing
