#include "Sync/Watch/QVFileSystemEventsWatcher.hpp"

#include "Platform/FileSystem/FolderWatcher.hpp"
#include "Platform/Foundation/KillPoint.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"

#include <algorithm>
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

// The stream state that the event queue shares with the watcher. It outlives
// the watcher for calls already queued; a call for a stream that is no longer
// current does nothing.
struct QVFileSystemEventsWatcher::Receiver : std::enable_shared_from_this<Receiver> {
    Receiver(Options watcherOptions, std::weak_ptr<Reactive::QueueScheduler> queue)
        : options(std::move(watcherOptions))
        , eventQueue(std::move(queue))
    {
    }

    std::expected<std::unique_ptr<Platform::FolderWatcher>, Platform::FileSystemError> makeStream(const std::string& path,
        std::uint64_t stream);
    void receive(std::uint64_t stream, const Platform::FolderChanges& changes);
    void scheduleRevival(std::uint64_t stream);
    void revive(std::uint64_t stream);
    void call();

    const Options options;
    const std::weak_ptr<Reactive::QueueScheduler> eventQueue;
    std::mutex mutex;
    CompletionBlock block;
    std::unique_ptr<Platform::FolderWatcher> watcher; // the running stream
    std::string watchedPath;
    std::uint64_t currentStream = 0; // 0: idle
    std::uint64_t lastStream = 0;
    bool rootGone = false;
};

std::expected<std::unique_ptr<Platform::FolderWatcher>, Platform::FileSystemError>
QVFileSystemEventsWatcher::Receiver::makeStream(const std::string& path, std::uint64_t stream)
{
    Platform::FolderWatcher::Options streamOptions;
    streamOptions.latency = options.latency;
    streamOptions.ownChanges = options.ownChanges;
    streamOptions.callback = [receiver = weak_from_this(), stream](Platform::FolderChanges changes) {
        if (auto strong = receiver.lock()) {
            strong->receive(stream, changes);
        }
    };
    streamOptions.executor = [queue = eventQueue](std::function<void()> work) {
        if (auto strong = queue.lock()) {
            strong->schedule(std::move(work));
        }
    };
    return Platform::FolderWatcher::create(path, std::move(streamOptions));
}

void QVFileSystemEventsWatcher::Receiver::receive(std::uint64_t stream, const Platform::FolderChanges& changes)
{
    {
        std::lock_guard lock(mutex);
        if (stream != currentStream) {
            return;
        }
        if (changes.rootChanged && !rootGone) {
            // The inotify watches died with the folder, but callers watch a
            // path, not an inode: the folder is watched again once something
            // is back at that path (the application may make it anew).
            rootGone = true;
            scheduleRevival(stream);
        }
    }
    call();
}

void QVFileSystemEventsWatcher::Receiver::scheduleRevival(std::uint64_t stream)
{
    if (auto queue = eventQueue.lock()) {
        queue->schedule(queue->currentDate() + std::max(options.latency, std::chrono::nanoseconds(std::chrono::milliseconds(100))),
            [receiver = weak_from_this(), stream] {
                if (auto strong = receiver.lock()) {
                    strong->revive(stream);
                }
            });
    }
}

void QVFileSystemEventsWatcher::Receiver::revive(std::uint64_t stream)
{
    std::string path;
    {
        std::lock_guard lock(mutex);
        if (stream != currentStream || !rootGone) {
            return;
        }
        path = watchedPath;
    }
    std::error_code error;
    std::expected<std::unique_ptr<Platform::FolderWatcher>, Platform::FileSystemError> fresh
        = std::unexpected(Platform::FileSystemError::make(Platform::FileSystemErrorCode::notFound, path));
    if (std::filesystem::is_directory(path, error)) {
        fresh = makeStream(path, stream);
    }
    if (!fresh) {
        // Nothing to watch yet; the folder may come back after this moment.
        Platform::killPoint("folder-watch-revival-failed");
    }
    std::unique_ptr<Platform::FolderWatcher> replaced;
    {
        std::lock_guard lock(mutex);
        if (stream != currentStream) {
            return; // Stopped meanwhile; the fresh stream ends here.
        }
        if (!fresh) {
            scheduleRevival(stream);
            return;
        }
        replaced = std::exchange(watcher, std::move(*fresh));
        rootGone = false;
    }
    replaced.reset();
    Platform::Log::line("Watching the folder again: " + path);
    call(); // What lies in the folder now is new to whoever listens.
}

void QVFileSystemEventsWatcher::Receiver::call()
{
    CompletionBlock copy;
    {
        std::lock_guard lock(mutex);
        copy = block;
    }
    if (copy) {
        copy();
    }
}

QVFileSystemEventsWatcher::QVFileSystemEventsWatcher(Options options)
    : m_eventQueue(Reactive::QueueScheduler::make(eventQueueLabel))
    , m_receiver(std::make_shared<Receiver>(std::move(options), m_eventQueue))
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
    auto watcher = m_receiver->makeStream(standardized, stream);
    if (!watcher) {
        const auto code = watcher.error().code;
        if (code == Platform::FileSystemErrorCode::notFound || code == Platform::FileSystemErrorCode::notADirectory) {
            Platform::Log::line("[QVFileSystemEventsWatcher, -[QVFileSystemEventsWatcher startWatchingFolderAtPath:]] "
                                "Cannot start watching for files systemt events, directory at path "
                + standardized + " does not exist or is not a directory!");
            // The application may make the folder only after watching began
            // (a first login): it is looked for as for a folder that went.
            std::lock_guard lock(m_receiver->mutex);
            m_receiver->watchedPath = standardized;
            m_receiver->currentStream = stream;
            m_receiver->rootGone = true;
            m_receiver->scheduleRevival(stream);
        } else {
            Platform::Log::failure("Cannot watch the folder: " + watcher.error().description());
        }
        return;
    }
    m_path = (*watcher)->path();
    std::lock_guard lock(m_receiver->mutex);
    m_receiver->watcher = std::move(*watcher);
    m_receiver->watchedPath = m_path;
    m_receiver->currentStream = stream;
    m_receiver->rootGone = false;
}

void QVFileSystemEventsWatcher::stopWatchingFolder()
{
    std::unique_ptr<Platform::FolderWatcher> stopped;
    {
        std::lock_guard lock(m_receiver->mutex);
        m_receiver->currentStream = 0;
        stopped = std::move(m_receiver->watcher);
    }
    // Stops the reader thread; deliveries it already queued find the stream
    // no longer current.
    stopped.reset();
}

void QVFileSystemEventsWatcher::fileSystemDidChange()
{
    m_receiver->call();
}

void QVFileSystemEventsWatcher::setCompletionBlock(CompletionBlock block)
{
    std::lock_guard lock(m_receiver->mutex);
    m_receiver->block = std::move(block);
}

bool QVFileSystemEventsWatcher::isWatching() const
{
    std::lock_guard lock(m_receiver->mutex);
    return m_receiver->watcher && !m_receiver->rootGone;
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
