#include "Sync/Run/RefusedCreates.hpp"

#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Changes/FileOperation.hpp"
#include "Sync/Model/File.hpp"

#include <utility>

namespace Sync {

void RefusedCreates::note(const SyncEventPair& pair, bool localPhase)
{
    const auto& [event, change] = pair;
    const auto& operation = change.fileOperation();
    if (!operation || operation->kind() != FileOperation::Kind::Create) {
        return;
    }
    auto key = Platform::precomposed(withoutTrailingSlash(operation->file()->path()));
    if (localPhase && event.isError()) {
        m_refused.insert(std::move(key));
    } else if (!localPhase && event.isFinished() && m_refused.contains(key)) {
        m_adopted = true;
    }
}

bool RefusedCreates::repeatOnce()
{
    if (!m_adopted || m_repeated) {
        return false;
    }
    m_repeated = true;
    m_refused.clear();
    return true;
}

} // namespace Sync
