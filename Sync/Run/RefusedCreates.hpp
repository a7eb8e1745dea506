#pragma once

#include "Sync/Execution/SyncEvent.hpp"

#include <string>
#include <unordered_set>

namespace Sync {

// An item the local phase could not create on the server (it was there
// already: placed by both sides, or created before a crash) that the remote
// phase then took into the stored state: what lies inside it can go up now,
// and the run is not done before it has. Both phases run once more, at most
// once per run.
//
// One per run; touched only by the step under way.
class RefusedCreates {
public:
    // Notes an event of the local phase (`localPhase`) or of the remote one.
    void note(const SyncEventPair& pair, bool localPhase);
    // Whether both phases run once more; true at most once.
    [[nodiscard]] bool repeatOnce();

private:
    // The paths (NFC, no trailing "/") of the creates the local phase was refused.
    std::unordered_set<std::string> m_refused;
    bool m_adopted { false };
    bool m_repeated { false };
};

} // namespace Sync
