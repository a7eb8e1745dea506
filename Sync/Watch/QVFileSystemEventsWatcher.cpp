#include "Sync/Watch/QVFileSystemEventsWatcher.hpp"

#include "Platform/FileSystem/FolderWatcher.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <filesystem>
#include <mutex>

namespace Sync {

namespace {

// The path with "." and ".." resolved and no trailing separator, as the log
// line shows it; the watch itself uses the canonical path.
std::string standardizedPath(const std::string& path)
{
    auto standard = std::filesystem::path(path).lexically_normal().string();
    while (standard.size() > 1 && standard.ends_with('/')) {
        standard.pop_back();
    }
    return standard;
}

}

// What the event queue calls into. It outlives the watcher for calls already
// queued; a call for a stream that is no longer current does nothing.
struct QVFileSystemEventsWatcher::Receiver {
    std::mutex mutex;
    CompletionBlock block;
    std::uint64_t currentStream = 0; // 0: idle
    std::uint64_t lastStream = 0;
    bool rootGone = false;

    void receive(std::uint64_t stream, const Platform::FolderChanges& changes)
    {
        CompletionBlock call;
        {
            std::lock_guard lock(mutex);
            if (stream != currentStream) {
                return;
            }
            // The platform watcher stops by itself once the folder is gone.
            rootGone = rootGone || changes.rootChanged;
            call = block;
        }
        if (call) {
            call();
        }
    }
};

QVFileSystemEventsWatcher::QVFileSystemEventsWatcher(Options options)
    : m_options(std::move(options))
    , m_eventQueue(Reactive::QueueScheduler::make(eventQueueLabel))
    , m_receiver(std::make_shared<Receiver>())
{
}

QVFileSystemEventsWatcher::~QVFileSystemEventsWatcher()
{
    stopWatchingFolder();
}

std::unique_ptr<QVFileSystemEventsWatcher> QVFileSystemEventsWatcher::eventsWatcherWithURL(const Platform::URL& folder,
    CompletionBlock block, Options options)
{
    auto watcher = std::make_unique<QVFileSystemEventsWatcher>(std::move(options));
    watcher->setCompletionBlock(std::move(block));
    watcher->startWatchingFolderAtPath(folder.path());
    return watcher;
}

void QVFileSystemEventsWatcher::startWatchingFolderAtPath(const std::string& path)
{
    stopWatchingFolder();
    const auto standardized = standardizedPath(path);

    std::uint64_t stream = 0;
    {
        std::lock_guard lock(m_receiver->mutex);
        stream = ++m_receiver->lastStream;
    }
    Platform::FolderWatcher::Options options;
    options.latency = m_options.latency;
    options.ownChanges = m_options.ownChanges;
    options.callback = [receiver = m_receiver, stream](Platform::FolderChanges changes) { receiver->receive(stream, changes); };
    options.executor = [queue = std::weak_ptr<Reactive::QueueScheduler>(m_eventQueue)](std::function<void()> work) {
        if (auto strong = queue.lock()) {
            strong->schedule(std::move(work));
        }
    };
    auto watcher = Platform::FolderWatcher::create(standardized, std::move(options));
    if (!watcher) {
        const auto code = watcher.error().code;
        if (code == Platform::FileSystemErrorCode::notFound || code == Platform::FileSystemErrorCode::notADirectory) {
            Platform::Log::line("[QVFileSystemEventsWatcher, -[QVFileSystemEventsWatcher startWatchingFolderAtPath:]] "
                                "Cannot start watching for files systemt events, directory at path "
                + standardized + " does not exist or is not a directory!");
        } else {
            Platform::Log::failure("Cannot watch the folder: " + watcher.error().description());
        }
        return;
    }
    m_stream = std::move(*watcher);
    m_path = m_stream->path();
    std::lock_guard lock(m_receiver->mutex);
    m_receiver->currentStream = stream;
    m_receiver->rootGone = false;
}

void QVFileSystemEventsWatcher::stopWatchingFolder()
{
    {
        std::lock_guard lock(m_receiver->mutex);
        m_receiver->currentStream = 0;
    }
    // Stops the reader thread; deliveries it already queued find the stream
    // no longer current.
    m_stream.reset();
}

void QVFileSystemEventsWatcher::fileSystemDidChange()
{
    CompletionBlock call;
    {
        std::lock_guard lock(m_receiver->mutex);
        call = m_receiver->block;
    }
    if (call) {
        call();
    }
}

void QVFileSystemEventsWatcher::setCompletionBlock(CompletionBlock block)
{
    std::lock_guard lock(m_receiver->mutex);
    m_receiver->block = std::move(block);
}

bool QVFileSystemEventsWatcher::isWatching() const
{
    std::lock_guard lock(m_receiver->mutex);
    return m_stream && !m_receiver->rootGone;
}

Reactive::SignalProducer<Platform::URL, Reactive::NoError> QVFileSystemEventsWatcher::eventProducer(
    const Platform::URL& folder, Options options)
{
    using Observer = Reactive::Observer<Platform::URL, Reactive::NoError>;
    return Reactive::SignalProducer<Platform::URL, Reactive::NoError>(
        [folder, options](Observer observer, Reactive::Lifetime lifetime) {
            observer.send(folder);
            std::shared_ptr<QVFileSystemEventsWatcher> watcher
                = eventsWatcherWithURL(folder, [observer, folder] { observer.send(folder); }, options);
            // The watcher lives exactly as long as this start.
            lifetime.observeEnded([watcher] { watcher->stopWatchingFolder(); });
        });
}

} // namespace Sync
