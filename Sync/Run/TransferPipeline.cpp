#include "Sync/Run/TransferPipeline.hpp"

#include <algorithm>
#include <utility>

namespace Sync {

TransferPipeline::TransferPipeline(RemoteChangeExecutor remoteExecutor, LocalChangeExecutor localExecutor)
    : m_remoteExecutor(std::move(remoteExecutor))
    , m_localExecutor(std::move(localExecutor))
{
}

void TransferPipeline::startList()
{
    std::lock_guard lock(m_mutex);
    m_sentAhead.clear();
}

std::shared_ptr<ExchangeAhead> TransferPipeline::sendAhead(const std::vector<Change>& changes, std::size_t index)
{
    auto own = take(index);
    const auto direction = changes[index].kind();
    const auto inFlight = direction == Change::Kind::Local ? downloadsInFlight : transfersInFlight;
    const auto end = std::min(changes.size(), index + inFlight);
    for (auto next = index; next < end; ++next) {
        const auto& change = changes[next];
        if (!carriesContent(*change.fileOperation()) || change.kind() != direction) {
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
        auto started = start(change, next);
        if (!started || !keep(next, std::move(started))) {
            break;
        }
    }
    return own;
}

std::shared_ptr<ExchangeAhead> TransferPipeline::start(const Change& change, std::size_t index)
{
    if (change.isRemote()) {
        return m_remoteExecutor.startTransfer(*change.fileOperation());
    }
    Reactive::SchedulerPtr queue;
    {
        std::lock_guard lock(m_mutex);
        auto& slot = m_placements[index % downloadsInFlight];
        if (!slot) {
            slot = Reactive::QueueScheduler::make("Sync.Placement");
        }
        queue = slot;
    }
    return m_localExecutor.startTransfer(*change.fileOperation(), queue);
}

void TransferPipeline::stop()
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

std::shared_ptr<ExchangeAhead> TransferPipeline::take(std::size_t index)
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

bool TransferPipeline::keep(std::size_t index, std::shared_ptr<ExchangeAhead> started)
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
