#pragma once

#include "Platform/FileSystem/EventCoalescer.hpp"
#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"

#include <chrono>
#include <cstddef>
#include <expected>
#include <functional>
#include <limits>
#include <memory>
#include <string>

namespace Platform {

// Watches a folder and everything below it with inotify and reports changes,
// gathered over a latency window, to a callback.
//
// - One watch per directory. Directories made or moved in are watched at once
//   and everything already inside them is reported as changed, so items made
//   before their directory's watch existed are not missed.
// - Events for paths registered in the `ownChanges` registry are dropped.
// - When the kernel's event queue overflows, the delivery says
//   `everythingChanged` and all watches are rebuilt.
// - When the watched folder itself is deleted, moved or unmounted, the delivery
//   says `rootChanged` and the watcher stops watching (it stays idle; make a new
//   one for the folder's new place).
// - When the watch limit (fs.inotify.max_user_watches, or `maximumWatches`) is
//   reached, one line is logged, one delivery says `degraded`, `isDegraded()`
//   turns true, and the watcher goes on with the watches it has.
//
// Threading: one reader thread per watcher. The callback runs on that thread,
// or, when an executor is given, wherever the executor runs it; deliveries are
// handed over one at a time in order. The destructor stops the thread (through
// an eventfd) and returns once no callback runs any more on the reader thread;
// calls already handed to an executor may still run, so they must not reach a
// destroyed receiver. Destroying the watcher from its own callback is allowed.
class FolderWatcher {
public:
    using Callback = std::function<void(FolderChanges)>;
    using Executor = std::function<void(std::function<void()>)>;

    struct Options {
        std::chrono::nanoseconds latency = std::chrono::seconds{1};  // window that gathers events into one delivery
        Callback callback;                                            // receives each delivery; required
        Executor executor;                                            // runs the callback; empty: the reader thread
        std::shared_ptr<OwnChangeRegistry> ownChanges;                // events for paths registered here are dropped
        std::size_t maximumWatches = std::numeric_limits<std::size_t>::max();  // a lower cap than the kernel's
        // Whether deliveries name the changed paths. A receiver that looks at
        // the whole folder on every delivery leaves it off, so a burst of many
        // paths costs it no memory; tests that check which paths were seen turn it on.
        bool namesPaths = false;
    };

    // Starts watching `folder` (made canonical with realpath(3); the paths
    // delivered, when `namesPaths` asks for them, begin with that canonical path). The whole tree is watched
    // before this returns. Fails when the folder is not a directory or
    // inotify cannot be set up; a watch limit reached here is no failure.
    [[nodiscard]] static std::expected<std::unique_ptr<FolderWatcher>, FileSystemError> create(std::string folder,
                                                                                             Options options);

    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // The canonical path of the watched folder.
    const std::string& path() const;
    bool isDegraded() const;

    struct Core;

private:
    explicit FolderWatcher(std::shared_ptr<Core> core);
    std::shared_ptr<Core> m_core;
};

}  // namespace Platform
