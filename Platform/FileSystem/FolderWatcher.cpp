#include "Platform/FileSystem/FolderWatcher.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PollLoop.hpp"
#include "Platform/FileSystem/InotifyWatchSet.hpp"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace Platform {

struct FolderWatcher::Core {
    Core(std::string rootPath, Options watcherOptions, int inotify, PollLoop stop)
        : root(std::move(rootPath)),
          options(std::move(watcherOptions)),
          inotifyDescriptor(inotify),
          loop(std::move(stop)),
          watches(inotify, options.maximumWatches),
          coalescer(options.latency, options.namesPaths ? EventCoalescer::Paths::kept : EventCoalescer::Paths::dropped)
    {
    }

    ~Core()
    {
        ::close(inotifyDescriptor);
    }

    void run();
    void readEvents(EventCoalescer::TimePoint now);
    void handle(const struct inotify_event& event, EventCoalescer::TimePoint now);
    void handleRootGone(EventCoalescer::TimePoint now);
    void watchNewDirectory(const std::string& path, EventCoalescer::TimePoint now);
    void report(const std::string& path, EventCoalescer::TimePoint now);
    void noteIncomplete(EventCoalescer::TimePoint now);
    void deliver(FolderChanges changes);

    std::string const root;
    Options const options;
    int const inotifyDescriptor;
    PollLoop const loop;
    InotifyWatchSet watches;
    EventCoalescer coalescer;
    bool rootGone = false;
    std::atomic<bool> stopping{false};
    std::atomic<bool> degraded{false};
    std::thread thread;
};

std::expected<std::unique_ptr<FolderWatcher>, FileSystemError> FolderWatcher::create(std::string folder,
                                                                                   Options options)
{
    std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(folder.c_str(), nullptr), &std::free);
    if (!canonical) {
        return std::unexpected(FileSystemError::fromErrno(errno, folder));
    }
    struct stat status {};
    if (::stat(canonical.get(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return std::unexpected(FileSystemError::make(FileSystemErrorCode::notADirectory, folder));
    }
    int const inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0) {
        int const error = errno;
        return std::unexpected(error == EMFILE ? FileSystemError{FileSystemErrorCode::watchLimit, error, folder}
                                               : FileSystemError::fromErrno(error, folder));
    }
    auto stop = PollLoop::create();
    if (!stop) {
        ::close(inotify);
        return std::unexpected(FileSystemError::fromErrno(stop.error().value(), folder));
    }
    auto core = std::make_shared<Core>(canonical.get(), std::move(options), inotify, std::move(*stop));
    if (!core->watches.addTree(core->root, {})) {
        core->noteIncomplete(std::chrono::steady_clock::now());
    }
    core->thread = std::thread([core] { core->run(); });
    return std::unique_ptr<FolderWatcher>(new FolderWatcher(core));
}

FolderWatcher::FolderWatcher(std::shared_ptr<Core> core) : m_core(std::move(core)) {}

FolderWatcher::~FolderWatcher()
{
    m_core->stopping = true;
    m_core->loop.stop();
    if (m_core->thread.get_id() == std::this_thread::get_id()) {
        // Called from our own callback: the thread ends after it returns and
        // keeps the core alive until then.
        m_core->thread.detach();
    } else {
        m_core->thread.join();
    }
}

const std::string& FolderWatcher::path() const
{
    return m_core->root;
}

bool FolderWatcher::isDegraded() const
{
    return m_core->degraded;
}

void FolderWatcher::Core::run()
{
    int const descriptors[] = {inotifyDescriptor};
    auto const timeout = [this]() -> std::optional<std::chrono::milliseconds> {
        if (auto deadline = coalescer.deadline()) {
            return std::chrono::ceil<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
        }
        return std::nullopt;
    };
    auto const ran = loop.run(descriptors, timeout, [this](const PollLoop::Wake& wake) {
        if (stopping) {
            return;
        }
        if (wake.readable(0)) {
            readEvents(std::chrono::steady_clock::now());
        }
        if (auto changes = coalescer.takeDue(std::chrono::steady_clock::now())) {
            deliver(std::move(*changes));
        }
    });
    if (!ran) {
        Log::line("❗️ Folder watcher stopped: poll failed for " + root);
    }
}

void FolderWatcher::Core::readEvents(EventCoalescer::TimePoint now)
{
    alignas(struct inotify_event) char buffer[64 * 1024];
    while (true) {
        ssize_t const length = ::read(inotifyDescriptor, buffer, sizeof buffer);
        if (length <= 0) {
            return;  // EAGAIN: the queue is drained.
        }
        for (ssize_t offset = 0; offset < length;) {
            auto const* event = reinterpret_cast<const struct inotify_event*>(buffer + offset);
            handle(*event, now);
            offset += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
        }
    }
}

void FolderWatcher::Core::handle(const struct inotify_event& event, EventCoalescer::TimePoint now)
{
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        coalescer.addEverythingChanged(now);
        if (!rootGone) {
            watches.removeAll();
            if (!watches.addTree(root, {})) {
                noteIncomplete(now);
            }
        }
        return;
    }
    auto directory = watches.pathOf(event.wd);
    if (!directory) {
        return;  // A watch already dropped; its subtree was handled then.
    }
    if ((event.mask & IN_IGNORED) != 0) {
        watches.forget(event.wd);
        return;
    }
    bool const onRoot = event.len == 0 && *directory == root;
    if (onRoot && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
        handleRootGone(now);
        return;
    }
    if (event.len == 0 && (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
        return;  // The parent directory's watch reports it by name.
    }
    std::string const path = event.len == 0 ? *directory : *directory + "/" + event.name;
    if ((event.mask & IN_UNMOUNT) != 0) {
        watches.removeSubtree(path);
    }
    if ((event.mask & IN_ISDIR) != 0 && (event.mask & (IN_MOVED_FROM | IN_DELETE)) != 0) {
        watches.removeSubtree(path);
    }
    report(path, now);
    if ((event.mask & IN_ISDIR) != 0 && (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
        watchNewDirectory(path, now);
    }
}

void FolderWatcher::Core::handleRootGone(EventCoalescer::TimePoint now)
{
    rootGone = true;
    watches.removeAll();
    coalescer.addRootChanged(now);
    coalescer.addPath(root, now);
    Log::line("❗️ Watched folder was deleted or moved: " + root);
}

void FolderWatcher::Core::watchNewDirectory(const std::string& path, EventCoalescer::TimePoint now)
{
    // What the engine put there itself (a folder it made or moved) is its own
    // change down to the last item inside.
    bool const own = options.ownChanges && options.ownChanges->contains(path, now);
    bool const complete = watches.addTree(path, [&](const std::string& found) {
        if (!own) {
            report(found, now);
        }
    });
    if (!complete) {
        noteIncomplete(now);
    }
}

void FolderWatcher::Core::report(const std::string& path, EventCoalescer::TimePoint now)
{
    if (options.ownChanges && options.ownChanges->contains(path, now)) {
        return;
    }
    coalescer.addPath(path, now);
}

void FolderWatcher::Core::noteIncomplete(EventCoalescer::TimePoint now)
{
    if (degraded.exchange(true)) {
        return;
    }
    coalescer.addDegraded(now);
    Log::line("❗️ Folder watch limit reached; some folders below " + root +
                  " are not watched (raise fs.inotify.max_user_watches)");
}

void FolderWatcher::Core::deliver(FolderChanges changes)
{
    if (!options.callback) {
        return;
    }
    if (options.executor) {
        options.executor([callback = options.callback, changes = std::move(changes)]() mutable {
            callback(std::move(changes));
        });
    } else {
        options.callback(std::move(changes));
    }
}

}  // namespace Platform
