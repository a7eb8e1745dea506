#include "Platform/FileSystem/OwnChangeRegistry.hpp"

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
    auto counted = m_paths.try_emplace(std::move(path)).first;
    ++(scope == Scope::subtree ? counted->second.subtrees : counted->second.items);
    m_entries.emplace(identifier, Entry{&*counted, scope, false});
    return identifier;
}

void OwnChangeRegistry::end(std::uint64_t identifier, TimePoint now)
{
    std::lock_guard lock(m_mutex);
    auto const entry = m_entries.find(identifier);
    if (entry == m_entries.end() || entry->second.ended) {
        return;
    }
    entry->second.ended = true;
    m_ended.emplace(now, identifier);
}

bool OwnChangeRegistry::contains(std::string_view path, TimePoint now)
{
    std::lock_guard lock(m_mutex);
    prune(now);
    if (m_paths.find(path) != m_paths.end()) {
        return true;
    }
    // A subtree registration covers the path when it names one of its ancestors: every
    // prefix that ends right before a '/'.
    for (std::size_t slash = path.find('/'); slash != std::string_view::npos; slash = path.find('/', slash + 1)) {
        auto const ancestor = m_paths.find(path.substr(0, slash));
        if (ancestor != m_paths.end() && ancestor->second.subtrees > 0) {
            return true;
        }
    }
    return false;
}

void OwnChangeRegistry::prune(TimePoint now)
{
    while (!m_ended.empty() && now > m_ended.begin()->first + m_window) {
        forget(m_ended.begin()->second);
        m_ended.erase(m_ended.begin());
    }
}

void OwnChangeRegistry::forget(std::uint64_t identifier)
{
    auto const entry = m_entries.find(identifier);
    if (entry == m_entries.end()) {
        return;
    }
    auto& count = entry->second.path->second;
    --(entry->second.scope == Scope::subtree ? count.subtrees : count.items);
    if (count.items == 0 && count.subtrees == 0) {
        m_paths.erase(m_paths.find(std::string_view(entry->second.path->first)));
    }
    m_entries.erase(entry);
}

}  // namespace Platform
