#include "Platform/FileSystem/OwnChangeRegistry.hpp"

#include <algorithm>
#include <utility>

namespace Platform {

OwnChangeRegistry::Registration::Registration(std::weak_ptr<OwnChangeRegistry> registry, std::uint64_t identifier)
    : m_registry(std::move(registry)), m_identifier(identifier)
{
}

OwnChangeRegistry::Registration::Registration(Registration&& other) noexcept
    : m_registry(std::move(other.m_registry)), m_identifier(std::exchange(other.m_identifier, 0))
{
}

OwnChangeRegistry::Registration& OwnChangeRegistry::Registration::operator=(Registration&& other) noexcept
{
    if (this != &other) {
        end();
        m_registry = std::move(other.m_registry);
        m_identifier = std::exchange(other.m_identifier, 0);
    }
    return *this;
}

OwnChangeRegistry::Registration::~Registration()
{
    end();
}

void OwnChangeRegistry::Registration::end()
{
    if (m_identifier == 0) {
        return;
    }
    if (auto registry = m_registry.lock()) {
        registry->end(m_identifier, Clock::now());
    }
    m_identifier = 0;
}

std::shared_ptr<OwnChangeRegistry> OwnChangeRegistry::create(Clock::duration window)
{
    std::shared_ptr<OwnChangeRegistry> registry(new OwnChangeRegistry(window));
    registry->m_self = registry;
    return registry;
}

OwnChangeRegistry::OwnChangeRegistry(Clock::duration window) : m_window(window) {}

OwnChangeRegistry::Registration OwnChangeRegistry::registerChange(std::string path, Scope scope)
{
    return Registration(m_self, begin(std::move(path), scope, Clock::now()));
}

std::uint64_t OwnChangeRegistry::begin(std::string path, Scope scope, TimePoint now)
{
    std::lock_guard lock(m_mutex);
    prune(now);
    auto const identifier = m_nextIdentifier++;
    m_entries.push_back(Entry{identifier, std::move(path), scope, false, {}});
    return identifier;
}

void OwnChangeRegistry::end(std::uint64_t identifier, TimePoint now)
{
    std::lock_guard lock(m_mutex);
    for (auto& entry : m_entries) {
        if (entry.identifier == identifier && !entry.ended) {
            entry.ended = true;
            entry.endedAt = now;
        }
    }
}

bool OwnChangeRegistry::contains(std::string_view path, TimePoint now)
{
    std::lock_guard lock(m_mutex);
    prune(now);
    return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
        if (path == entry.path) {
            return true;
        }
        return entry.scope == Scope::subtree && path.size() > entry.path.size() &&
               path.compare(0, entry.path.size(), entry.path) == 0 && path[entry.path.size()] == '/';
    });
}

void OwnChangeRegistry::prune(TimePoint now)
{
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.ended && now > entry.endedAt + m_window; });
}

}  // namespace Platform
