#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

namespace Platform {

// The inotify watches of one recursive folder watcher: one watch per
// directory, keyed both ways (watch descriptor to path, path to descriptor),
// so a moved or deleted subtree can be dropped as a whole. Belongs to the
// watcher's reader thread; not thread-safe.
class InotifyWatchSet {
public:
    // `maximumWatches` caps this set below the kernel's own limit.
    InotifyWatchSet(int inotifyDescriptor, std::size_t maximumWatches);

    // Watches `directory` and every directory below it, without following
    // links. Each item found below `directory` is passed to `found` (which
    // may be empty). A directory is watched before it is listed, so an item
    // made meanwhile is either listed or reported by an event.
    // False when the watch limit stopped it from watching everything.
    bool addTree(const std::string& directory, const std::function<void(const std::string&)>& found);

    // Stops watching `directory` and everything below it.
    void removeSubtree(const std::string& directory);
    void removeAll();
    // The kernel dropped the watch (IN_IGNORED).
    void forget(int watchDescriptor);

    std::optional<std::string> pathOf(int watchDescriptor) const;
    std::size_t size() const { return m_paths.size(); }

private:
    // Watching one directory: an error other than the limit (a directory that
    // vanished, say) is only a directory less to watch.
    enum class Outcome { watched, limitReached, failed };
    Outcome watch(const std::string& directory);

    int m_descriptor;
    std::size_t m_maximumWatches;
    std::unordered_map<int, std::string> m_paths;
    std::map<std::string, int> m_descriptors;
};

}  // namespace Platform
