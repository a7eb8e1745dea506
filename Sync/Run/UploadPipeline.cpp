#include "Sync/Run/UploadPipeline.hpp"

#include <algorithm>
#include <utility>

namespace Sync {

UploadPipeline::UploadPipeline(RemoteChangeExecutor executor)
    : m_executor(std::move(executor))
{
}

void UploadPipeline::startList()
{
    std::lock_guard lock(m_mutex);
    m_sentAhead.clear();
}

std::shared_ptr<ExchangeAhead> UploadPipeline::sendAhead(const std::vector<Change>& changes, std::size_t index)
{
    auto own = take(index);
    const auto end = std::min(changes.size(), index + transfersInFlight);
    for (auto next = index; next < end; ++next) {
        const auto& change = changes[next];
        // Downloads wait for their turn: only uploads are sent ahead.
        if (!carriesContent(*change.fileOperation()) || !change.isRemote()) {
            break;
        }
        // Its own exchange starts with it, as every change's does.
        if (next == index) {
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_stopped) {
                break;
            }
            if (m_sentAhead.contains(next)) {
                continue;
            }
        }
        auto started = m_executor.startTransfer(*change.fileOperation());
        if (!started || !keep(next, std::move(started))) {
            break;
        }
    }
    return own;
}

void UploadPipeline::stop()
{
    std::map<std::size_t, std::shared_ptr<ExchangeAhead>> sentAhead;
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
        sentAhead = std::exchange(m_sentAhead, {});
    }
    for (const auto& [index, exchange] : sentAhead) {
        exchange->dispose();
    }
}

std::shared_ptr<ExchangeAhead> UploadPipeline::take(std::size_t index)
{
    std::lock_guard lock(m_mutex);
    auto found = m_sentAhead.find(index);
    if (found == m_sentAhead.end()) {
        return nullptr;
    }
    auto own = std::move(found->second);
    m_sentAhead.erase(found);
    return own;
}

bool UploadPipeline::keep(std::size_t index, std::shared_ptr<ExchangeAhead> started)
{
    std::lock_guard lock(m_mutex);
    if (m_stopped) {
        started->dispose();
        return false;
    }
    m_sentAhead.emplace(index, std::move(started));
    return true;
}

} // namespace Sync
