#include "Sync/Tests/SchedulerTestDoubles.hpp"

#include "Sync/Model/FileWrapperItem.hpp"

namespace Sync::Testing {

std::expected<void, Reactive::AnyError> TestCloudFolderPreparator::prepareCloudFolder()
{
    ++calls;
    if (fails) {
        return std::unexpected(Reactive::AnyError(std::string("cloud folder cannot be made")));
    }
    return {};
}

Reactive::SignalProducer<std::string, Reactive::NoError> TestRootEtagProvider::rootEtag()
{
    ++calls;
    if (hangs) {
        return Reactive::SignalProducer<std::string, Reactive::NoError>([this](auto observer, Reactive::Lifetime lifetime) {
            lifetime.observeEnded([this, observer] { ++abandoned; });
        });
    }
    std::lock_guard lock(m_mutex);
    return Reactive::SignalProducer<std::string, Reactive::NoError>::value(m_etag);
}

void TestRootEtagProvider::setEtag(std::string etag)
{
    std::lock_guard lock(m_mutex);
    m_etag = std::move(etag);
}

TestSyncExecutor::TestSyncExecutor() : m_runFailures(Reactive::Signal<Reactive::AnyError, Reactive::NoError>::pipe()) {}

Reactive::SignalProducer<SyncEventPair, Reactive::NoError> TestSyncExecutor::performSync()
{
    return Reactive::SignalProducer<SyncEventPair, Reactive::NoError>(
        [this](Reactive::Observer<SyncEventPair, Reactive::NoError> observer, Reactive::Lifetime lifetime) {
            auto run = std::make_shared<Run>(Run { observer, true });
            {
                std::lock_guard lock(m_mutex);
                m_runs.push_back(run);
            }
            lifetime.observeEnded([this, run] {
                std::lock_guard lock(m_mutex);
                if (run->open) {
                    run->open = false;
                    ++m_disposed;
                }
            });
        });
}

std::size_t TestSyncExecutor::runCount() const
{
    std::lock_guard lock(m_mutex);
    return m_runs.size();
}

bool TestSyncExecutor::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return !m_runs.empty() && m_runs.back()->open;
}

std::size_t TestSyncExecutor::disposedCount() const
{
    std::lock_guard lock(m_mutex);
    return m_disposed;
}

void TestSyncExecutor::sendEvent()
{
    Reactive::Observer<SyncEventPair, Reactive::NoError> observer;
    {
        std::lock_guard lock(m_mutex);
        observer = m_runs.back()->observer;
    }
    observer.send(SyncEventPair(SyncEvent::started(), Change::invalid()));
}

void TestSyncExecutor::sendError()
{
    Reactive::Observer<SyncEventPair, Reactive::NoError> observer;
    {
        std::lock_guard lock(m_mutex);
        observer = m_runs.back()->observer;
    }
    auto file = std::make_shared<FileWrapperItem>(FileWrapperItem::Fields { .path = "/a.txt", .fileName = "a.txt" });
    observer.send(SyncEventPair(SyncEvent::error(Reactive::AnyError(std::string("upload failed"))),
        Change::remote(FileOperation::create(file))));
}

void TestSyncExecutor::complete()
{
    Reactive::Observer<SyncEventPair, Reactive::NoError> observer;
    {
        std::lock_guard lock(m_mutex);
        m_runs.back()->open = false;
        observer = m_runs.back()->observer;
    }
    observer.sendCompleted();
}

TestFileSystemTrigger::TestFileSystemTrigger() : m_pipe(Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe()) {}

Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> TestFileSystemTrigger::cloudFolderChanged() const
{
    return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>(m_pipe.first);
}

} // namespace Sync::Testing
