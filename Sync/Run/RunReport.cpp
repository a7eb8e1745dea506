#include "Sync/Run/RunReport.hpp"

#include "Sync/Changes/Change.hpp"

#include <utility>

namespace Sync {

RunReport::RunReport(RunOutputs outputs)
    : m_outputs(std::move(outputs))
{
}

void RunReport::event(const SyncEventPair& pair)
{
    m_outputs.syncEvents.send(pair);
    m_outputs.caller.send(pair);
}

void RunReport::runFailure(const Reactive::AnyError& error)
{
    m_outputs.runFailures.send(error);
}

void RunReport::failure(Reactive::AnyError error)
{
    m_outputs.runFailures.send(error);
    m_outputs.checkErrors.send(std::move(error));
}

void RunReport::endUnread(Reactive::AnyError error)
{
    m_outputs.syncEvents.send({ SyncEvent::error(error), Change::invalid() });
    m_outputs.caller.send({ SyncEvent::error(error), Change::invalid() });
    m_outputs.checkErrors.send(std::move(error));
    m_outputs.caller.sendCompleted();
}

void RunReport::keptServerVersion(KeptServerVersion kept)
{
    m_serverVersionsKept.push_back(std::move(kept));
}

void RunReport::completed(std::size_t trashedForSafety)
{
    if (trashedForSafety > 0) {
        m_outputs.trashedForSafety.send(trashedForSafety);
    }
    if (!m_serverVersionsKept.empty()) {
        m_outputs.serverVersionsKept.send(std::exchange(m_serverVersionsKept, {}));
    }
    m_outputs.caller.sendCompleted();
}

} // namespace Sync
