#include "Platform/FileSystem/EventCoalescer.hpp"

#include <utility>

namespace Platform {

EventCoalescer::EventCoalescer(std::chrono::nanoseconds latency, Paths paths, std::size_t maximumPaths)
    : m_latency(latency), m_paths(paths), m_maximumPaths(maximumPaths)
{
}

void EventCoalescer::open(TimePoint now)
{
    if (!m_deadline) {
        m_deadline = now + m_latency;
    }
}

void EventCoalescer::addPath(std::string path, TimePoint now)
{
    open(now);
    if (m_paths == Paths::dropped || m_pending.everythingChanged) {
        return;
    }
    m_pending.paths.insert(std::move(path));
    if (m_pending.paths.size() > m_maximumPaths) {
        m_pending.paths.clear();
        m_pending.everythingChanged = true;
    }
}

void EventCoalescer::addEverythingChanged(TimePoint now)
{
    open(now);
    m_pending.paths.clear();
    m_pending.everythingChanged = true;
}

void EventCoalescer::addRootChanged(TimePoint now)
{
    open(now);
    m_pending.rootChanged = true;
}

void EventCoalescer::addDegraded(TimePoint now)
{
    open(now);
    m_pending.degraded = true;
}

std::optional<FolderChanges> EventCoalescer::takeDue(TimePoint now)
{
    if (!m_deadline || now < *m_deadline) {
        return std::nullopt;
    }
    m_deadline.reset();
    return std::exchange(m_pending, FolderChanges{});
}

}  // namespace Platform
