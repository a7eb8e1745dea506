#include "Sync/Execution/SyncEvent.hpp"

namespace Sync {

std::string SyncEvent::description() const
{
    switch (m_kind) {
    case Kind::Started:
        return "started";
    case Kind::Finished:
        return "finished";
    case Kind::Error:
        break;
    }
    return "error: " + m_error->description();
}

} // namespace Sync
