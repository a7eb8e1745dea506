#include "Platform/FileSystem/InotifyWatchSet.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"

#include <cerrno>
#include <sys/inotify.h>
#include <vector>

namespace Platform {

namespace {

// What makes the cloud folder worth looking at again: items made, written,
// re-dated (IN_ATTRIB also covers touch and extended attributes), moved in or
// out, deleted; and the watched directory itself going away. IN_ONLYDIR and
// IN_DONT_FOLLOW keep a link or a file swapped in from being watched;
// IN_EXCL_UNLINK stops events for files still open after being deleted.
constexpr std::uint32_t watchMask = IN_CREATE | IN_MODIFY | IN_ATTRIB | IN_MOVED_FROM |
                                    IN_MOVED_TO | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR |
                                    IN_DONT_FOLLOW | IN_EXCL_UNLINK;

bool isInside(const std::string& path, const std::string& directory)
{
    return path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
           (directory == "/" || path[directory.size()] == '/');
}

}  // namespace

InotifyWatchSet::InotifyWatchSet(int inotifyDescriptor, std::size_t maximumWatches)
    : m_descriptor(inotifyDescriptor), m_maximumWatches(maximumWatches)
{
}

InotifyWatchSet::Outcome InotifyWatchSet::watch(const std::string& directory)
{
    if (m_descriptors.contains(directory)) {
        return Outcome::watched;
    }
    if (m_paths.size() >= m_maximumWatches) {
        return Outcome::limitReached;
    }
    int const watchDescriptor = ::inotify_add_watch(m_descriptor, directory.c_str(), watchMask);
    if (watchDescriptor < 0) {
        return errno == ENOSPC ? Outcome::limitReached : Outcome::failed;
    }
    // The same directory under a new name (it was moved) gets its old
    // descriptor back: drop the stale name.
    if (auto previous = m_paths.find(watchDescriptor); previous != m_paths.end()) {
        m_descriptors.erase(previous->second);
    }
    m_paths[watchDescriptor] = directory;
    m_descriptors[directory] = watchDescriptor;
    return Outcome::watched;
}

bool InotifyWatchSet::addTree(const std::string& directory, const std::function<void(const std::string&)>& found)
{
    auto outcome = watch(directory);
    if (outcome != Outcome::watched) {
        return outcome != Outcome::limitReached;
    }
    auto enumerator = DirectoryEnumerator::open(directory, [](const EnumerationError&) {});
    if (!enumerator) {
        return true;
    }
    bool complete = true;
    while (auto entry = enumerator->next()) {
        if (found) {
            found(entry->path);
        }
        if (!entry->status.isDirectory()) {
            continue;
        }
        outcome = watch(entry->path);
        if (outcome == Outcome::limitReached) {
            complete = false;
        }
        if (outcome != Outcome::watched) {
            enumerator->skipDescendants();
        }
    }
    return complete;
}

void InotifyWatchSet::removeSubtree(const std::string& directory)
{
    std::vector<int> removed;
    if (auto exact = m_descriptors.find(directory); exact != m_descriptors.end()) {
        removed.push_back(exact->second);
        m_descriptors.erase(exact);
    }
    // "/a/b c" sorts between "/a/b" and "/a/b/x", so the contents are a range
    // of their own, starting at "/a/b/".
    std::string const prefix = directory == "/" ? directory : directory + "/";
    for (auto position = m_descriptors.lower_bound(prefix);
         position != m_descriptors.end() && isInside(position->first, directory);) {
        removed.push_back(position->second);
        position = m_descriptors.erase(position);
    }
    for (int const watchDescriptor : removed) {
        ::inotify_rm_watch(m_descriptor, watchDescriptor);
        m_paths.erase(watchDescriptor);
    }
}

void InotifyWatchSet::removeAll()
{
    for (auto const& [watchDescriptor, path] : m_paths) {
        ::inotify_rm_watch(m_descriptor, watchDescriptor);
    }
    m_paths.clear();
    m_descriptors.clear();
}

void InotifyWatchSet::forget(int watchDescriptor)
{
    if (auto position = m_paths.find(watchDescriptor); position != m_paths.end()) {
        m_descriptors.erase(position->second);
        m_paths.erase(position);
    }
}

std::optional<std::string> InotifyWatchSet::pathOf(int watchDescriptor) const
{
    if (auto position = m_paths.find(watchDescriptor); position != m_paths.end()) {
        return position->second;
    }
    return std::nullopt;
}

}  // namespace Platform
