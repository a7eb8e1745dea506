#pragma once

#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace Platform {
class FolderWatcher;
}

namespace Reactive {
class QueueScheduler;
}

namespace Sync {

// How a QVFileSystemEventsWatcher watches.
struct FileSystemEventsWatcherOptions {
    std::chrono::nanoseconds latency = std::chrono::seconds { 1 }; // gathers the events of one window into one call
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges;        // events for paths registered here are dropped
};

// Watches one folder, and everything below it, and calls a block when
// something in it changed. Changes are gathered over `latency`, so a burst
// gives one call per window, however many items it touched. Deleting or
// moving the folder itself gives a call too; the watcher is then idle until a
// directory is back at the path (looked for on the event queue once per
// latency, at most every 100 ms), when it watches it again and calls once more. Changes registered
// in `ownChanges` (the engine's own disk writes) give no call.
//
// Threading: the block runs on the watcher's own serial event queue (a
// thread labelled `eventQueueLabel`), one call at a time. Create, start,
// stop and destroy a watcher from one thread at a time (any thread, the
// event queue included). No call starts after `stopWatchingFolder` or the
// destructor has begun; a call already running may still finish.
class QVFileSystemEventsWatcher {
public:
    using CompletionBlock = std::function<void()>;

    using Options = FileSystemEventsWatcherOptions;

    static constexpr const char* eventQueueLabel = "orvella-filesystem-events-queue";

    // An idle watcher with its event queue.
    explicit QVFileSystemEventsWatcher(Options options = {});
    // Stops watching.
    ~QVFileSystemEventsWatcher();
    QVFileSystemEventsWatcher(const QVFileSystemEventsWatcher&) = delete;
    QVFileSystemEventsWatcher& operator=(const QVFileSystemEventsWatcher&) = delete;

    // A watcher with `block` set that watches the folder of the file URL
    // `folder`. Returned also when watching could not start (it is then idle).
    [[nodiscard]] static std::unique_ptr<QVFileSystemEventsWatcher> eventsWatcherWithURL(const Platform::URL& folder,
        CompletionBlock block, Options options = {});

    // Each start sends `folder` at once, then `folder` again on every call of
    // a watcher made for this start; disposing the start stops and releases
    // that watcher. Never completes or fails on its own. The first value
    // arrives on the starting thread, the others on the watcher's event queue.
    [[nodiscard]] static Reactive::SignalProducer<Platform::URL, Reactive::NoError> eventProducer(
        const Platform::URL& folder, Options options = {});

    // Stops any current watch, then watches `path` (made standard and
    // canonical). A path that is no directory is logged and leaves the
    // watcher idle, with `path()` as it was, until a directory is at that
    // path: it is looked for as for a watched folder that went away, then
    // watched, with one call.
    void startWatchingFolderAtPath(const std::string& path);
    // Stops the current watch; nothing when idle.
    void stopWatchingFolder();
    // Calls the completion block (on the calling thread).
    void fileSystemDidChange();

    void setCompletionBlock(CompletionBlock block);
    // The canonical path last watched; empty before watching ever started.
    [[nodiscard]] const std::string& path() const { return m_path; }
    // Whether a stream runs: false when idle, and while the watched folder is gone.
    [[nodiscard]] bool isWatching() const;

private:
    struct Receiver;

    std::shared_ptr<Reactive::QueueScheduler> m_eventQueue;
    std::shared_ptr<Receiver> m_receiver;
    std::string m_path;
};

} // namespace Sync
